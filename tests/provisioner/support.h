#pragma once
// What the provisioner's tests share: a reporter that records what the window would show, the
// vendor's master list in a database of the test server behind the data source "blacktable",
// and small readers of the installation's files.

#include "provisioner/operations.h"

#include <QStringList>

namespace lt::test
{

// Records every report as "kind: text"; answers questions from a script (Yes when it runs out).
class RecordingReporter : public prov::Reporter
{
public:
    QStringList events;
    QList<bool> answers;
    void status(const QString& text) override { events << QStringLiteral("status: ") + text; }
    void busy(bool on) override
    {
        events << (on ? QStringLiteral("busy") : QStringLiteral("idle"));
    }
    void notice(const QString& text) override { events << QStringLiteral("notice: ") + text; }
    void detail(const QString& text) override { events << QStringLiteral("detail: ") + text; }
    bool confirm(const QString& question) override
    {
        events << QStringLiteral("ask: ") + question;
        return answers.isEmpty() || answers.takeFirst();
    }
    void progress(int done, int total) override
    {
        events << QStringLiteral("progress: %1/%2").arg(done).arg(total);
    }
    QStringList of(const QString& kind) const; // the texts of one kind, in order
};

// The master list: database lt_master with table 黑名单 holding rows of (域名, 标题, 类别),
// reached through the data source "blacktable" registered in the test installation's odbc.ini.
void setUpMasterList(const QList<QStringList>& rows);
void dropMasterList();

// The lines of one section of odbc.ini ("Name=value"), in the order they stand in the file.
QStringList odbcIniSection(const QString& section);

// The system's account of a server that serves other machines, on the test server while alive.
// A local installation's server has no such account; the tests that reach the test server
// "from elsewhere" (over TCP with the account) create it, and drop it again when they did.
class RemoteAccount
{
public:
    RemoteAccount();
    ~RemoteAccount();
    RemoteAccount(const RemoteAccount&) = delete;
    RemoteAccount& operator=(const RemoteAccount&) = delete;

private:
    bool created_ = false;
};

// The test server's TCP port, as a registration of "127.0.0.1:port" needs it.
QString serverPort();

} // namespace lt::test
