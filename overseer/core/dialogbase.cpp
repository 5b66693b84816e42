#include "overseer/core/dialogbase.h"

#include "overseer/core/formmain.h"

namespace lt::overseer
{

DialogBase::DialogBase(FormMain& form) : QDialog(&form), form_(form)
{
    setModal(true);
}

bool DialogBase::run()
{
    dlgResult_ = kDlgCancelled;
    exec();
    return confirmed();
}

void DialogBase::reject()
{
    cancel();
}

void DialogBase::confirm()
{
    dlgResult_ = kDlgConfirmed;
    form_.unload(this);
}

void DialogBase::cancel()
{
    dlgResult_ = kDlgCancelled;
    form_.unload(this);
}

} // namespace lt::overseer
