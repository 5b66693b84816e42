#include "overseer/core/dialogbase.h"

#include "overseer/core/consolecontext.h"

namespace lt::overseer
{

DialogBase::DialogBase(ConsoleContext& context) : QDialog(&context.window()), context_(context)
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
    context_.unload(this);
}

void DialogBase::cancel()
{
    dlgResult_ = kDlgCancelled;
    context_.unload(this);
}

} // namespace lt::overseer
