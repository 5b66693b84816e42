#include "common/summaryschema.h"

#include "common/logsummary.h"
#include "common/odbc.h"
#include "common/schema.h"

#include <QHash>

namespace lt::schema
{

namespace
{

constexpr int kTriggerRefused = 1419; // binary logging on, and no right to create triggers

const QString kInnoDb = QStringLiteral("InnoDB");

QString trigger(const QString& name, const QString& event, const QString& body)
{
    return QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON logtable FOR EACH ROW %3")
        .arg(name, event, body);
}

// How the server reports a trigger back: timing, event, table and statement.
QString signature(const QString& event, const QString& body)
{
    return QStringLiteral("AFTER ") + event + QStringLiteral(" logtable ") + body;
}

QList<SummaryPiece> makePieces()
{
    // A row stamped more than five minutes back may fall into a summed stretch of its day.
    const QString late = QStringLiteral(
        "IF NEW.AcTime<=DATE_FORMAT(NOW()-INTERVAL 5 MINUTE,'%y-%m-%d %H:%i:%s') THEN "
        "DELETE FROM summarydays WHERE Day=LEFT(NEW.AcTime,8) AND Upto>=NEW.AcTime; END IF");
    const QString deleted = QStringLiteral("DELETE FROM summarydays WHERE Day=LEFT(OLD.AcTime,8)");
    // The columns the sums see, byte for byte: a change to any other column keeps the day's
    // sums true, and "pc-01" renamed "PC-01" is a change.
    QStringList same;
    for (const char* column : {"AcTime", "IP", "Name", "URL", "Title", "Team", "Result", "nLength"})
        same << QStringLiteral("BINARY OLD.%1<=>BINARY NEW.%1").arg(QLatin1String(column));
    same << QStringLiteral("OLD.F<=>NEW.F");
    const QString changed =
        QStringLiteral("DELETE FROM summarydays WHERE (Day=LEFT(OLD.AcTime,8) OR "
                       "Day=LEFT(NEW.AcTime,8)) AND NOT (") +
        same.join(QStringLiteral(" AND ")) + u')';
    return {
        {QStringLiteral("summarydays"),
         false,
         QStringLiteral("CREATE TABLE summarydays(Day CHAR(8) NOT NULL PRIMARY KEY,"
                        "Upto CHAR(17) NOT NULL) ENGINE=InnoDB"),
         {}},
        {QStringLiteral("daypages"),
         false,
         QStringLiteral("CREATE TABLE daypages(Day CHAR(8) NOT NULL,URL CHAR(150) NOT NULL,"
                        "NoUrl TINYINT NOT NULL,Title CHAR(100),F BIGINT,"
                        "PRIMARY KEY(Day,URL,NoUrl)) ENGINE=InnoDB"),
         {}},
        {QStringLiteral("dayterminals"),
         false,
         QStringLiteral("CREATE TABLE dayterminals(Day CHAR(8) NOT NULL,IP CHAR(16) NOT NULL,"
                        "NoIp TINYINT NOT NULL,Name CHAR(16),F BIGINT,Bytes DOUBLE,"
                        "PRIMARY KEY(Day,IP,NoIp)) ENGINE=InnoDB"),
         {}},
        // The same sums hour by hour ("00" to "23": the stamp's characters 10 and 11): a
        // statistic that starts or ends inside a day reads the whole hours of its edges from
        // here. The day sums are made from them.
        {QStringLiteral("hourpages"),
         false,
         QStringLiteral("CREATE TABLE hourpages(Day CHAR(8) NOT NULL,Hour CHAR(2) NOT NULL,"
                        "URL CHAR(150) NOT NULL,NoUrl TINYINT NOT NULL,Title CHAR(100),F BIGINT,"
                        "PRIMARY KEY(Day,Hour,URL,NoUrl)) ENGINE=InnoDB"),
         {}},
        {QStringLiteral("hourterminals"),
         false,
         QStringLiteral("CREATE TABLE hourterminals(Day CHAR(8) NOT NULL,Hour CHAR(2) NOT NULL,"
                        "IP CHAR(16) NOT NULL,NoIp TINYINT NOT NULL,Name CHAR(16),F BIGINT,"
                        "Bytes DOUBLE,PRIMARY KEY(Day,Hour,IP,NoIp)) ENGINE=InnoDB"),
         {}},
        // The distinct titles of a day with their group and result, and how many rows carry
        // each: a title search learns which days hold a word, and counts it, from here. The
        // title is kept byte for byte (TitleBin) beside its text, so that titles equal only to
        // the collation (letter case, accents) are tested one by one as the log's are.
        {QStringLiteral("daytitles"),
         false,
         QStringLiteral("CREATE TABLE daytitles(Day CHAR(8) NOT NULL,TitleBin VARBINARY(400) NOT "
                        "NULL,Team CHAR(16) NOT NULL,NoTeam TINYINT NOT NULL,Result CHAR(4) NOT "
                        "NULL,NoResult TINYINT NOT NULL,Title CHAR(100),N BIGINT NOT NULL,"
                        "PRIMARY KEY(Day,TitleBin,Team,NoTeam,Result,NoResult)) ENGINE=InnoDB"),
         {}},
        {QStringLiteral("logtable_forget_late"), true,
         trigger(QStringLiteral("logtable_forget_late"), QStringLiteral("INSERT"), late),
         signature(QStringLiteral("INSERT"), late)},
        {QStringLiteral("logtable_forget_deleted"), true,
         trigger(QStringLiteral("logtable_forget_deleted"), QStringLiteral("DELETE"), deleted),
         signature(QStringLiteral("DELETE"), deleted)},
        {QStringLiteral("logtable_forget_changed"), true,
         trigger(QStringLiteral("logtable_forget_changed"), QStringLiteral("UPDATE"), changed),
         signature(QStringLiteral("UPDATE"), changed)},
    };
}

// The statement as sent to a connection that may have no database selected.
QString inLogDatabase(QString sql, bool replace)
{
    const QString db = kLogDatabase + u'.';
    sql.replace(QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE ") + db);
    sql.replace(QStringLiteral("CREATE TRIGGER "),
                (replace ? QStringLiteral("CREATE OR REPLACE TRIGGER ")
                         : QStringLiteral("CREATE TRIGGER ")) +
                    db);
    sql.replace(QStringLiteral(" ON logtable "),
                QStringLiteral(" ON ") + db + QStringLiteral("logtable "));
    return sql;
}

} // namespace

const QList<SummaryPiece>& summaryPieces()
{
    static const QList<SummaryPiece> pieces = makePieces();
    return pieces;
}

bool SummaryState::usable() const
{
    return answered && logEngine == kInnoDb && missing.isEmpty() && differing.isEmpty();
}

QString SummaryState::whyUnusable() const
{
    if (!answered)
        return error;
    if (logEngine.isEmpty())
        return QStringLiteral("no logtable");
    if (logEngine != kInnoDb)
        return QStringLiteral("logtable is of engine ") + logEngine;
    if (!missing.isEmpty())
        return QStringLiteral("missing: ") + missing.join(u',');
    if (!differing.isEmpty())
        return QStringLiteral("not as this version makes them: ") + differing.join(u',');
    return {};
}

SummaryState readSummaryState(db::Connection& connection)
{
    SummaryState state;
    connection.clearError();
    const QString schema = u'\'' + kLogDatabase + u'\'';
    db::Recordset rs = connection.query(
        QStringLiteral("SELECT 'T',TABLE_NAME,ENGINE FROM information_schema.TABLES WHERE "
                       "TABLE_SCHEMA=") +
        schema +
        QStringLiteral(" UNION ALL SELECT 'R',TRIGGER_NAME,CONCAT(ACTION_TIMING,' ',"
                       "EVENT_MANIPULATION,' ',EVENT_OBJECT_TABLE,' ',ACTION_STATEMENT) FROM "
                       "information_schema.TRIGGERS WHERE TRIGGER_SCHEMA=") +
        schema);
    if (connection.failed()) {
        state.error = connection.lastError().message;
        connection.clearError();
        return state;
    }
    state.answered = true;
    QHash<QString, QString> tables;
    QHash<QString, QString> triggers;
    for (; !rs.eof(); rs.moveNext()) {
        const QString name = rs.field(1).toString().toLower();
        (rs.field(0).toString() == QLatin1String("T") ? tables : triggers)
            .insert(name, rs.field(2).toString());
    }
    state.logEngine = tables.value(QStringLiteral("logtable"));
    for (const SummaryPiece& piece : summaryPieces()) {
        const QHash<QString, QString>& present = piece.trigger ? triggers : tables;
        const auto found = present.constFind(piece.name);
        if (found == present.constEnd())
            state.missing << piece.name;
        else if (piece.trigger ? found.value() != piece.body : found.value() != kInnoDb)
            state.differing << piece.name;
    }
    return state;
}

QList<SummaryPiece> missingSummaryPieces(db::Connection& connection, QString* error)
{
    const SummaryState state = readSummaryState(connection);
    if (!state.answered) {
        if (error)
            *error = state.error;
        return {};
    }
    QList<SummaryPiece> lacking;
    for (const SummaryPiece& piece : summaryPieces()) {
        if (state.missing.contains(piece.name) || state.differing.contains(piece.name))
            lacking << piece;
    }
    return lacking;
}

QString triggerRefusedNotice()
{
    return QStringLiteral(
        "数据库服务器开启了二进制日志（log_bin），当前账户无权在其上创建触发器，"
        "访问统计和流量统计将直接读取日志（日志多时较慢），结果不受影响。"
        "如需加快统计：请数据库管理员在服务器上执行 SET GLOBAL log_bin_trust_function_creators=1"
        "（并在 my.cnf 的 [mysqld] 段写入 log_bin_trust_function_creators=1），"
        "然后再运行一次数据库升级（provisioner --upgrade，或安装程序的“升级数据库”）。");
}

namespace
{

bool send(db::Connection& connection, const QString& sql, SummaryUpgrade& up)
{
    if (connection.execute(sql))
        return true;
    up.failures << sql + QStringLiteral(": ") + connection.lastError().message;
    connection.clearError();
    return false;
}

// Nothing of the old sums can be vouched for: they go, every table in InnoDB, before the
// triggers that keep new ones true are made.
bool remakeTables(db::Connection& connection, const SummaryState& state, SummaryUpgrade& up,
                  const std::function<void(const QString&)>& progress)
{
    for (const SummaryPiece& piece : summaryPieces()) {
        if (piece.trigger)
            continue;
        const QString table = kLogDatabase + u'.' + piece.name;
        if (progress)
            progress(piece.name);
        if (state.differing.contains(piece.name) &&
            !send(connection, QStringLiteral("DROP TABLE ") + table, up))
            return false;
        if (state.missing.contains(piece.name) || state.differing.contains(piece.name)) {
            if (!send(connection, inLogDatabase(piece.sql, false), up))
                return false;
            up.added << piece.name;
        } else if (!send(connection, QStringLiteral("TRUNCATE TABLE ") + table, up)) {
            return false;
        }
    }
    return true;
}

// False when a trigger could not be made; a refusal under binary logging is a notice.
bool remakeTriggers(db::Connection& connection, const SummaryState& state, SummaryUpgrade& up,
                    const std::function<void(const QString&)>& progress)
{
    for (const SummaryPiece& piece : summaryPieces()) {
        if (!piece.trigger ||
            !(state.missing.contains(piece.name) || state.differing.contains(piece.name)))
            continue;
        if (progress)
            progress(piece.name);
        const QString sql = inLogDatabase(piece.sql, true);
        if (connection.execute(sql)) {
            up.added << piece.name;
            continue;
        }
        if (connection.lastError().native == kTriggerRefused)
            up.notices << triggerRefusedNotice();
        else
            up.failures << sql + QStringLiteral(": ") + connection.lastError().message;
        connection.clearError();
        return false;
    }
    return true;
}

} // namespace

SummaryUpgrade upgradeSummaries(db::Connection& connection,
                                const std::function<void(const QString&)>& progress)
{
    SummaryUpgrade up;
    const SummaryState state = readSummaryState(connection);
    if (!state.answered) {
        up.failures << QStringLiteral("information_schema: ") + state.error;
        return up;
    }
    if (state.logEngine.isEmpty()) {
        up.failures << kLogDatabase + QStringLiteral(".logtable: no such table");
        return up;
    }
    if (state.logEngine != kInnoDb) {
        up.notices << QStringLiteral("日志表 logtable 使用 %1 存储引擎，不能保证日汇总与日志一致，"
                                     "访问统计和流量统计将直接读取日志（日志多时较慢）。"
                                     "如需加快统计，可在上网低峰时执行 ALTER TABLE "
                                     "dovrik.logtable ENGINE=InnoDB（表越大用时越长，期间日志"
                                     "暂停写入），然后再运行一次数据库升级。")
                          .arg(state.logEngine);
        return up;
    }
    if (!state.usable()) {
        up.rebuilt = true;
        if (!remakeTables(connection, state, up, progress) ||
            !remakeTriggers(connection, state, up, progress))
            return up;
    }
    // Also when every piece was there: an earlier upgrade may have ended before its fold did.
    if (progress)
        progress(QStringLiteral("daypages"));
    if (!connection.selectDatabase(kLogDatabase)) {
        up.failures << QStringLiteral("USE ") + kLogDatabase + QStringLiteral(": ") +
                           connection.lastError().message;
        return up;
    }
    if (const std::optional<QString> failure = summary::foldAll(connection))
        up.failures << QStringLiteral("summary: ") + *failure;
    return up;
}

} // namespace lt::schema
