#pragma once
// The monitor stand-in's feeder: realistic rows of the tables the capture modules write, so that
// an installation without the real modules has something to show. One visit of a terminal gives
// a browse-log row (logtable), a recent-visit row (webtable), the hour's traffic counters
// (uptable, downtable) and now and then an upload-log row (upsendtable), all through the shared
// row writer.

#include "common/logrows.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

namespace lt::db
{
class Connection;
}

namespace lt::outside
{

struct Terminal {
    QString name;
    QString ip;
    QString team;
};

struct Visit {
    Terminal terminal;
    QDateTime when;
    QString title;
    QString url;
    QString host;       // strurl of the traffic counters
    QString serverIp;   // dstip of the traffic counters
    QString className;  // a class name of classtable, or empty when the page is not classified
    QString result;     // "放行", "阻断" or "积累"
    qint64 length = 0;  // bytes received (nLength); about a tenth of it was sent
    int sourcePort = 0; // the same for a terminal and a site: one counter row for both a day
    QString upload;     // the text sent, for an upload-log row; empty when nothing was uploaded
};

class Feeder
{
public:
    // log: the log database (logtable, upsendtable); config: the configuration database.
    Feeder(db::Connection& log, db::Connection& config, quint32 seed);

    // Reads the terminals (usertable) and the classes (classtable). With no terminals
    // registered, a few made-up ones of the group "临时工作组" browse instead.
    void refresh();
    const QList<Terminal>& terminals() const { return terminals_; }

    Visit makeVisit(const QDateTime& when);
    // Sends the visit's rows; false when any could not be written.
    bool write(const Visit& visit);
    // count visits at the clock's "now"; false at the first that failed.
    bool feed(int count);

private:
    void add(const Visit& visit);
    db::Connection& log_;
    db::Connection& config_;
    QRandomGenerator random_;
    QList<Terminal> terminals_;
    QHash<QString, QString> classNames_; // class code -> class name
    logrows::RowWriter writer_;
};

// Feeds at a steady rate from the two data sources of the installation. When the databases
// cannot be reached, or a statement fails, it tries again a minute later, quietly.
class FeedService : public QObject
{
public:
    FeedService(int rowsPerMinute, QObject* parent = nullptr);
    ~FeedService() override;
    qint64 visitsWritten() const { return written_; }

private:
    void connectDatabases();
    void tick();
    void fail();
    int rate_;
    std::unique_ptr<db::Connection> log_;
    std::unique_ptr<db::Connection> config_;
    std::unique_ptr<Feeder> feeder_;
    QTimer ticker_;
    QTimer retry_;
    QElapsedTimer running_;   // since the databases were reached
    QElapsedTimer refreshed_; // since the terminals were read
    qint64 writtenInRun_ = 0;
    qint64 written_ = 0;
};

// The feed rate of the monitor stand-in: the command line's --feed, else FeedRate of the
// [monitor] section of app/qmlxsn.ini, else 0 (no feeding).
int configuredFeedRate(const std::optional<int>& commandLine);

} // namespace lt::outside
