#include "overseer/admin/adminstore.h"

#include "common/cmysql.h"
#include "common/dbmessages.h"
#include "overseer/admin/adminrules.h"
#include "overseer/core/consolecontext.h"
#include "overseer/core/dbworker.h"

#include <QDialog>
#include <QPointer>
#include <QPushButton>

namespace lt::overseer::admin
{

namespace
{

Outcome failure(const QString& what, const db::Error& error)
{
    return {false, what + u'\n' + db::describeFailure(error)};
}

} // namespace

Outcome runAll(db::Connection& connection, const QStringList& statements, const QString& what)
{
    if (!connection.beginTransaction())
        return failure(what, connection.lastError());
    for (const QString& statement : statements) {
        if (!connection.execute(statement)) {
            const db::Error error = connection.lastError();
            connection.rollback();
            return failure(what, error);
        }
    }
    if (!connection.commit()) {
        const db::Error error = connection.lastError();
        connection.rollback();
        if (error.outcomeUnknown) {
            Outcome unknown{false, kOutcomeUnknown + QStringLiteral("\n详细信息：") +
                                       db::failureDetail(error)};
            unknown.unknown = true;
            return unknown;
        }
        return failure(what, error);
    }
    return {};
}

Outcome runOne(db::Connection& connection, const QString& statement, const QString& what)
{
    return runAll(connection, {statement}, what);
}

void countBeside(ConsoleContext& context, QObject* receiver, QPushButton* hold,
                 const QStringList& counts, std::function<void(const QList<bool>& found)> answered,
                 std::function<void(const QString& why)> failed)
{
    const QPointer<QPushButton> held(hold);
    if (held)
        held->setEnabled(false);
    // A dialog closed meanwhile is only waiting for its deletion: its check continues nothing.
    const auto live = [receiver, held] {
        if (held)
            held->setEnabled(true);
        auto* dialog = qobject_cast<QDialog*>(receiver);
        return !dialog || dialog->isVisible();
    };
    const auto done = [live, answered = std::move(answered)](const QList<Rows>& parts) {
        if (!live())
            return;
        QList<bool> found;
        for (const Rows& rows : parts)
            found << (!rows.isEmpty() && rows.first().value(0).toLongLong() > 0);
        answered(found);
    };
    const auto refused = [live, failed = std::move(failed)](const DbFailure& failure) {
        if (live())
            failed(describeFailure(failure));
    };
    readBeside(context.configReads(), receiver, counts, done, refused);
}

namespace
{
// A connection lost on the way is still the one to use: its next statement opens it again.
db::Connection* opened(db::Connection& connection)
{
    return connection.isOpen() || !connection.connectionString().isEmpty() ? &connection : nullptr;
}
} // namespace

db::Connection* configConnection(CMySql* mySql)
{
    return mySql ? opened(mySql->Cnn1) : nullptr;
}

db::Connection* logConnection(CMySql* mySql)
{
    return mySql ? opened(mySql->Cnn0) : nullptr;
}

Outcome notConnected(const QString& what)
{
    return {false, what + u'\n' + db::kServerUnreachable};
}

Outcome renameTerminal(CMySql& mySql, const QString& name, const QString& address)
{
    const QString what = QStringLiteral("终端未能更名。");
    db::Connection* config = configConnection(&mySql);
    if (!config)
        return notConnected(what);
    if (Outcome o = runOne(*config, sql::renameTerminal(name, address), what); !o)
        return o;
    // The log rows keep a copy of the name; both logs follow, or the message says they did not.
    db::Connection* log = logConnection(&mySql);
    const QString logWhat = QStringLiteral("终端已更名，但日志中的终端名称未能更新。");
    Outcome copies = log ? runAll(*log,
                                  {sql::renameTerminalInLog(name, address),
                                   sql::renameTerminalInUploads(name, address)},
                                  logWhat)
                         : notConnected(logWhat);
    copies.partly = !copies.ok;
    return copies;
}

Outcome renameGroup(CMySql& mySql, const QString& name, const QString& old)
{
    const QString what = QStringLiteral("组别未能更名。");
    db::Connection* config = configConnection(&mySql);
    if (!config)
        return notConnected(what);
    if (Outcome o = runAll(*config,
                           {sql::renameGroup(name, old), sql::renameGroupMembers(name, old)}, what);
        !o)
        return o;
    db::Connection* log = logConnection(&mySql);
    const QString logWhat = QStringLiteral("组别已更名，但日志中的组别名称未能更新。");
    Outcome copies =
        log ? runOne(*log, sql::renameGroupInLog(name, old), logWhat) : notConnected(logWhat);
    copies.partly = !copies.ok;
    return copies;
}

} // namespace lt::overseer::admin
