#pragma once
// What the administration's GUI tests share: the real main window with the console's
// connections on the test server, the statements sent, and small ways to act on dialogs.

#include "common/cmysql.h"
#include "common/datasources.h"
#include "common/odbc.h"
#include "overseer/admin/administration.h"
#include "overseer/core/formmain.h"
#include "overseer/program.h"
#include "tests/overseer/consoletest.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace lt::test
{

// The statements sent while it lives, with the data source they went to.
class StatementLog
{
public:
    StatementLog()
    {
        id_ = db::addStatementObserver([this](const db::StatementEvent& e) {
            if (e.kind == db::StatementEvent::Statement)
                events << e;
        });
    }
    ~StatementLog() { db::removeStatementObserver(id_); }
    QStringList texts() const
    {
        QStringList list;
        for (const db::StatementEvent& e : events)
            list << e.text;
        return list;
    }
    // The statements that change something (no SELECT, no transaction control).
    QStringList changes() const
    {
        QStringList list;
        for (const QString& t : texts()) {
            const QString head = t.left(6).toUpper();
            if (head == "UPDATE" || head == "INSERT" || head == "DELETE")
                list << t;
        }
        return list;
    }
    void clear() { events.clear(); }
    QList<db::StatementEvent> events;

private:
    int id_ = 0;
};

inline std::unique_ptr<overseer::FormMain> adminForm()
{
    auto form = std::make_unique<overseer::FormMain>();
    overseer::fillDispatch(*form);
    form->EndConsole = [] {};
    if (!connectConsole(form->context()))
        qFatal("cannot open the console's connections");
    form->show();
    return form;
}

// Waits until the administration view shown has read its table (it reads beside the window).
inline void listRead(overseer::FormMain& form)
{
    auto* view = qobject_cast<overseer::admin::AdminListView*>(form.currentView());
    QVERIFY2(view, "no administration view shown");
    QTRY_VERIFY_WITH_TIMEOUT(!view->reading(), 20000);
}

// Picks a combo box entry as a person does (the activation enables OK in some dialogs), once
// the entry is there: dialogs fill their boxes beside the window.
inline void pick(QComboBox* combo, const QString& text)
{
    QTRY_VERIFY2(combo->findText(text) >= 0, qPrintable(text));
    const int index = combo->findText(text);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// Waits until a dialog's OK is enabled again: a dialog holds it while it asks the table beside
// the window, or loads what it shows. A dialog gone or closed meanwhile waits for nothing.
inline void okAgain(const QPointer<QPushButton>& ok)
{
    QTRY_VERIFY_WITH_TIMEOUT(!ok || ok->isEnabled() || !ok->window()->isVisible(), 20000);
}

// Clicks OK and waits for what it sets going.
inline void clickOk(QPushButton* ok)
{
    const QPointer<QPushButton> button(ok);
    ok->click();
    okAgain(button);
}

// An in-place rename of a row of view as the list hands it over, and what follows once the
// table has said whether the name is free: true when the row shows the new text.
inline bool renameInPlace(overseer::admin::AdminListView& view, const QModelIndex& row,
                          const QString& text)
{
    if (view.listEvents().afterLabelEdit(row, text)) // the edit never takes the text itself
        return false;
    if (!waitFor([&] { return !view.renaming(); }, 20000))
        return false;
    return view.listModel().text(row.row(), 0) == text;
}

// Selects rows of the list (the first one current).
inline void selectRows(overseer::FormMain& form, const QList<int>& rows)
{
    QTreeView* list = test::list(form);
    list->clearSelection();
    for (int i = 0; i < rows.size(); ++i) {
        const QModelIndex index = list->model()->index(rows[i], 0);
        if (i == 0)
            list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
        else
            list->selectionModel()->select(index,
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// The rows of a table, tab-separated, in the order given.
inline QStringList tableRows(const QString& select, const QString& database = "ipdata")
{
    const QString out = sql(select, database).trimmed();
    return out.isEmpty() ? QStringList() : out.split('\n');
}

} // namespace lt::test
