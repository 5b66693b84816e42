#pragma once
// What the tests of the paged lists share: waiting until the log store's page and count are in,
// the order every page of the log keeps (newest first), and what the main window shows of the
// paging (its four status panels, which paging buttons are on).

#include "overseer/core/commands.h"
#include "overseer/core/formmain.h"
#include "overseer/core/logstore.h"
#include "tests/support/testsupport.h"

#include <QLabel>

namespace lt::test
{

inline bool settled(const overseer::LogStore& store)
{
    return waitFor([&] { return !store.pageRequestOut() && !store.counting(); }, 20000);
}

// The access time (third column) never rises down the page.
inline bool newestFirst(const overseer::Rows& page)
{
    for (int i = 1; i < page.size(); ++i) {
        if (page[i - 1].value(2) < page[i].value(2))
            return false;
    }
    return true;
}

inline QStringList panels(overseer::FormMain& form)
{
    return {form.panel(1)->text(), form.panel(2)->text(), form.panel(3)->text(),
            form.panel(4)->text()};
}

// In the order of the paging captions.
inline QList<bool> pagingButtonsOn(overseer::FormMain& form)
{
    QList<bool> on;
    for (const QString& caption : overseer::allPagingCaptions())
        on << form.pagingButton(caption)->isEnabled();
    return on;
}

} // namespace lt::test
