#include "provisioner/operations.h"

#include "provisioner/texts.h"

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
        reporter.detail(connection.lastError().message);
    return ok;
}

struct InitTexts {
    const QString& question;
    const QString& working;
    const QString& notConnected;
    const QString& failed;
};

// The common frame of both initialisations: the question, the connection, the report.
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
        reporter.detail(connection.lastError().message);
        return result;
    }
    const schema::Outcome outcome = work(result);
    connection.close();
    reporter.status({});
    reporter.busy(false);
    result.failures = significantFailures(outcome);
    result.status = result.failures.isEmpty() ? InitStatus::Done : InitStatus::Failed;
    if (!result.ok()) {
        reporter.notice(texts.failed.arg(result.failures.size()));
        reporter.detail(result.failures.join(u'\n'));
    }
    return result;
}

const QString kBlackListInsert = QStringLiteral("INSERT INTO blacktable ");

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
                          text::kLogInitFailed};
    InitResult result =
        initialise(dbs.one, modeConnectionStrings().log, texts, reporter,
                   [&](InitResult&) { return schema::initialiseLogDatabase(dbs.one); });
    if (result.ok())
        reporter.status(text::kLogInitialised);
    return result;
}

InitResult initialiseConfigDatabase(Databases& dbs, Reporter& reporter, const QString& ownIp)
{
    const InitTexts texts{text::kAskInitConfig, text::kInitialisingConfig,
                          text::kConfigNotConnected, text::kConfigInitFailed};
    InitResult result =
        initialise(dbs.two, modeConnectionStrings().config, texts, reporter, [&](InitResult& r) {
            int total = 0;
            const schema::Outcome outcome = schema::initialiseConfigDatabase(
                dbs.two, blackNameFilePath(), ownIp, [&](int done, int all) {
                    total = all;
                    reporter.progress(done, all);
                });
            int failedRecords = 0;
            for (const QString& failure : outcome.failures)
                failedRecords += failure.startsWith(kBlackListInsert) ? 1 : 0;
            r.imported = total - failedRecords;
            return outcome;
        });
    if (result.ok())
        reporter.status(text::kConfigInitialised.arg(result.imported));
    return result;
}

} // namespace lt::prov
