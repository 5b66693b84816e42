#include "provisioner/operations.h"

#include "common/dbmessages.h"
#include "common/logindexes.h"

#include "provisioner/texts.h"

#include <functional>

namespace lt::prov
{

namespace
{

bool openAndReport(db::Connection& connection, const QString& connectionString,
                   const QString& connecting, const QString& opened, const QString& notOpened,
                   Reporter& reporter)
{
    connection.clearError();
    reporter.busy(true);
    reporter.status(connecting);
    const bool ok = connection.open(connectionString);
    reporter.status({});
    reporter.busy(false);
    reporter.notice(ok ? opened : notOpened);
    if (!ok)
        reporter.detail(db::describeFailure(connection.lastError()));
    return ok;
}

struct InitTexts {
    const QString& question;
    const QString& working;
    const QString& notConnected;
    const QString& failed;
    std::function<QString(const InitResult&)> incomplete;
};

QString configIncomplete(const InitResult& r)
{
    if (r.imported < 0)
        return text::kConfigInitLost;
    return text::kConfigInitIncomplete.arg(r.records).arg(r.imported);
}

struct CheckTexts {
    QString name;         // the database as messages call it
    QString notConnected; // the connection test's failure
    QString option;       // of --init: log or config
    QString backup;       // the console's option that backs the data up
};

void reportCheck(const schema::Completeness& c, const CheckTexts& texts, Reporter& reporter)
{
    const QString& name = texts.name;
    switch (c.state) {
    case schema::Completeness::Complete:
        reporter.notice(text::kDatabaseComplete.arg(name));
        break;
    case schema::Completeness::Missing:
        reporter.notice(text::kDatabaseMissing.arg(name));
        break;
    case schema::Completeness::Incomplete:
        if (c.held.isEmpty()) {
            reporter.notice(text::kDatabaseIncomplete.arg(name));
        } else {
            reporter.notice(text::kDatabaseIncompleteWithData.arg(name, c.held.join(u'；')));
            reporter.notice(text::kDoNotInitialise.arg(texts.option, texts.backup));
        }
        reporter.detail(c.lacking.join(u'\n'));
        break;
    case schema::Completeness::Unknown:
        reporter.notice(texts.notConnected);
        reporter.detail(c.error);
        break;
    }
}

// Opens a connection for the check: a database that does not exist yet is no failure.
schema::Completeness check(db::Connection& connection, const QString& connectionString,
                           schema::Completeness (*checkDatabase)(db::Connection&))
{
    schema::Completeness c;
    if (!schema::openForInitialisation(connection, connectionString)) {
        c.error = connection.lastError().message;
        return c;
    }
    c = checkDatabase(connection);
    connection.close();
    return c;
}

// The common frame of both initialisations: the question, the connection, the report.
// work returns whether the database was left complete.
template <typename Work>
InitResult initialise(db::Connection& connection, const QString& connectionString,
                      const InitTexts& texts, Reporter& reporter, Work work)
{
    InitResult result;
    if (!reporter.confirm(texts.question))
        return result;
    reporter.busy(true);
    reporter.status(texts.working);
    if (!schema::openForInitialisation(connection, connectionString)) {
        reporter.status({});
        reporter.busy(false);
        result.status = InitStatus::NotConnected;
        reporter.notice(texts.notConnected);
        reporter.detail(db::describeFailure(connection.lastError()));
        return result;
    }
    const schema::Outcome outcome = work(result);
    connection.close();
    reporter.status({});
    reporter.busy(false);
    result.failures = significantFailures(outcome);
    if (!outcome.complete)
        result.status = InitStatus::Incomplete;
    else
        result.status = result.failures.isEmpty() ? InitStatus::Done : InitStatus::Failed;
    if (result.status == InitStatus::Failed)
        reporter.notice(texts.failed.arg(result.failures.size()));
    else if (result.status == InitStatus::Incomplete)
        reporter.notice(texts.incomplete(result));
    if (!result.ok())
        reporter.detail(result.failures.join(u'\n'));
    else if (!outcome.notices.isEmpty())
        reporter.notice(outcome.notices.join(u'\n'));
    return result;
}

// The records of the black list passed over, named in the message itself (a window shows no
// more than the message); a long list goes on in the detail.
void reportSkipped(const InitResult& result, Reporter& reporter)
{
    constexpr int kShown = 20;
    QString message = text::kBlackListSkipped.arg(result.declared).arg(result.imported);
    for (const QString& record : result.skipped.mid(0, kShown))
        message += u'\n' + record;
    if (result.skipped.size() > kShown)
        message += u'\n' + text::kMoreSkipped.arg(result.skipped.size() - kShown);
    reporter.notice(message);
    if (result.skipped.size() > kShown)
        reporter.detail(result.skipped.mid(kShown).join(u'\n'));
}

} // namespace

void Reporter::progress(int done, int total)
{
    status(text::kImporting.arg(done).arg(total));
}

bool testConnections(Databases& dbs, Reporter& reporter)
{
    const dsn::ConnectionStrings strings = modeConnectionStrings();
    const bool log = openAndReport(dbs.one, strings.log, text::kConnectingLog, text::kLogConnected,
                                   text::kLogNotConnected, reporter);
    const bool config = openAndReport(dbs.two, strings.config, text::kConnectingConfig,
                                      text::kConfigConnected, text::kConfigNotConnected, reporter);
    dbs.one.close();
    dbs.two.close();
    return log && config;
}

QStringList significantFailures(const schema::Outcome& outcome)
{
    QStringList failures;
    for (const QString& failure : outcome.failures) {
        if (!failure.startsWith(QStringLiteral("Drop Database "), Qt::CaseInsensitive))
            failures << failure;
    }
    return failures;
}

InitResult initialiseLogDatabase(Databases& dbs, Reporter& reporter)
{
    const InitTexts texts{text::kAskInitLog, text::kInitialisingLog, text::kLogNotConnected,
                          text::kLogInitFailed,
                          [](const InitResult&) { return text::kLogInitIncomplete; }};
    InitResult result =
        initialise(dbs.one, modeConnectionStrings().log, texts, reporter, [&](InitResult&) {
            return schema::initialiseLogDatabase(dbs.one, schema::Marking::Marks);
        });
    if (result.ok())
        reporter.status(text::kLogInitialised);
    return result;
}

InitResult initialiseConfigDatabase(Databases& dbs, Reporter& reporter, const QString& ownIp)
{
    const InitTexts texts{text::kAskInitConfig, text::kInitialisingConfig,
                          text::kConfigNotConnected, text::kConfigInitFailed, configIncomplete};
    InitResult result =
        initialise(dbs.two, modeConnectionStrings().config, texts, reporter, [&](InitResult& r) {
            const schema::ConfigOutcome outcome = schema::initialiseConfigDatabase(
                dbs.two, blackNameFilePath(), ownIp,
                [&](int done, int all) { reporter.progress(done, all); }, schema::Marking::Marks);
            r.records = outcome.blackListRecords;
            r.declared = outcome.blackListDeclared;
            r.imported = outcome.blackListStored;
            r.skipped = outcome.blackListSkipped;
            return outcome;
        });
    if (!result.skipped.isEmpty() && result.status != InitStatus::Declined &&
        result.status != InitStatus::NotConnected)
        reportSkipped(result, reporter);
    if (result.ok())
        reporter.status(text::kConfigInitialised.arg(result.imported));
    return result;
}

bool upgradeLogDatabase(Reporter& reporter)
{
    db::Connection connection;
    connection.setTimeouts(db::ConnectionTimeouts::longStatements());
    if (!connection.open(modeConnectionStrings().log)) {
        reporter.notice(text::kLogNotConnected);
        reporter.detail(connection.lastError().message);
        return false;
    }
    reporter.busy(true);
    const schema::UpgradeOutcome outcome =
        schema::upgradeLogDatabase(connection, [&](const QString& index) {
            reporter.status(QStringLiteral("正在升级日志表（%1），日志越多用时越长……").arg(index));
        });
    reporter.busy(false);
    if (!outcome.ok()) {
        reporter.notice(QStringLiteral("安全控制中心数据库升级失败"));
        reporter.detail(outcome.failures.join(u'\n'));
        return false;
    }
    // The database works without what the notices name; they say what is left and why.
    if (!outcome.notices.isEmpty())
        reporter.notice(outcome.notices.join(u'\n'));
    reporter.status(outcome.added.isEmpty() ? QStringLiteral("安全控制中心数据库已是最新，无需升级")
                                            : QStringLiteral("安全控制中心数据库升级完毕，新建：%1")
                                                  .arg(outcome.added.join(QStringLiteral("、"))));
    return true;
}

CheckResult checkDatabases(bool log, bool config, Reporter& reporter)
{
    CheckResult result;
    const dsn::ConnectionStrings strings = modeConnectionStrings();
    db::Connection connection;
    if (log) {
        result.log = check(connection, strings.log, schema::checkLogDatabase);
        reportCheck(result.log,
                    {text::kLogDatabaseName, text::kLogNotConnected, QStringLiteral("log"),
                     QStringLiteral("--backup")},
                    reporter);
    }
    if (config) {
        result.config = check(connection, strings.config, schema::checkConfigDatabase);
        reportCheck(result.config,
                    {text::kConfigDatabaseName, text::kConfigNotConnected, QStringLiteral("config"),
                     QStringLiteral("--export-config")},
                    reporter);
    }
    return result;
}

} // namespace lt::prov
