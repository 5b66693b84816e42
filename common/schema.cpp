#include "common/schema.h"

#include "common/blacklist.h"
#include "common/logindexes.h"
#include "common/odbc.h"

#include <QRegularExpression>
#include <QSet>

namespace lt::schema
{

namespace
{

Step plain(const QString& sql)
{
    return Step{QString(), {sql}};
}

QString trafficTable(const QString& name)
{
    QString sql = QStringLiteral("CREATE TABLE %1(srcip CHAR(16),dstip CHAR(16),date CHAR(12),"
                                 "strurl CHAR(150),srcport int,dstport int")
                      .arg(name);
    for (int hour = 0; hour < 24; ++hour)
        sql += QStringLiteral(",t%1 bigint").arg(hour);
    return sql + u')';
}

QString builtInGroupInsert()
{
    QString sql = QStringLiteral("INSERT INTO grouptable VALUES( '") + kBuiltInGroup +
                  QStringLiteral("','0','0',");
    const QString mask = QStringLiteral("'000000000000000000000000'");
    for (int i = 0; i < 11; ++i)
        sql += mask + u',';
    return sql + mask + u')';
}

// The tables that the CREATE TABLE statements of the steps create, in their order.
QStringList createdTables(const std::vector<Step>& steps)
{
    static const QRegularExpression table(QStringLiteral("^CREATE TABLE (\\w+)\\("));
    QStringList names;
    for (const Step& step : steps) {
        for (const QString& sql : step.statements) {
            if (const auto m = table.match(sql); m.hasMatch())
                names << m.captured(1);
        }
    }
    return names;
}

QString markStatement(const QString& database, const QString& mark)
{
    return QStringLiteral("ALTER DATABASE %1 COMMENT '%2'").arg(database, db::sqlEscape(mark));
}

// The steps with the mark "initialising" right after the creation of the database.
std::vector<Step> markedSteps(std::vector<Step> steps, const QString& database)
{
    const QString create = QStringLiteral("Create Database ") + database;
    for (auto it = steps.begin(); it != steps.end(); ++it) {
        if (it->statements.contains(create)) {
            steps.insert(it + 1, Step{QString(), {markStatement(database, kMarkInitialising)}});
            break;
        }
    }
    return steps;
}

bool mark(db::Connection& connection, const QString& database, const QString& mark,
          Outcome& outcome)
{
    const QString sql = markStatement(database, mark);
    ++outcome.sent;
    if (connection.execute(sql))
        return true;
    outcome.failures << sql + QStringLiteral(": ") + connection.lastError().message;
    return false;
}

// Whether the database exists, which of the tables are missing, and its mark.
Completeness checkTablesAndMark(db::Connection& connection, const QString& database,
                                const std::vector<Step>& steps, bool heedMark)
{
    Completeness c;
    const db::Recordset schemata = connection.query(
        QStringLiteral("SELECT SCHEMA_COMMENT FROM information_schema.SCHEMATA WHERE "
                       "SCHEMA_NAME='%1'")
            .arg(database));
    if (connection.failed()) {
        c.error = connection.lastError().message;
        return c;
    }
    if (schemata.recordCount() <= 0) {
        c.state = Completeness::Missing;
        return c;
    }
    const QString mark = schemata.field(0).toString();
    // A database its initialisation marked complete stays complete, whatever the administrator
    // has since changed in it: judging it by its seeds again could have its logs dropped by a
    // re-initialisation.
    if (heedMark && mark == kMarkComplete) {
        c.state = Completeness::Complete;
        return c;
    }
    if (heedMark && mark == kMarkInitialising)
        c.lacking << QStringLiteral("初始化没有做完");
    db::Recordset tables = connection.query(
        QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='%1'")
            .arg(database));
    if (connection.failed()) {
        c.error = connection.lastError().message;
        return c;
    }
    QStringList present;
    for (tables.moveFirst(); !tables.eof(); tables.moveNext())
        present << tables.field(0).toString();
    for (const QString& name : createdTables(steps)) {
        if (!present.contains(name, Qt::CaseInsensitive))
            c.lacking << name;
    }
    c.state = Completeness::Incomplete; // settled once the seeds are counted
    return c;
}

// A count below least adds what to the list of what is lacking.
void requireRows(db::Connection& connection, Completeness& c, const QString& count, int least,
                 const QString& what)
{
    const db::Recordset rs = connection.query(count);
    if (rs.recordCount() <= 0 || rs.field(0).toInt() < least)
        c.lacking << what;
}

// Failures that leave a database complete: a drop of a database that was not there.
bool onlyHarmlessFailures(const QStringList& failures)
{
    for (const QString& failure : failures) {
        if (!failure.startsWith(QStringLiteral("Drop Database "), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

Completeness settle(Completeness c)
{
    c.state = c.lacking.isEmpty() ? Completeness::Complete : Completeness::Incomplete;
    return c;
}

} // namespace

const std::vector<ClassRow>& seededClasses()
{
    static const std::vector<ClassRow> classes = {
        {QStringLiteral("上网"), QStringLiteral("A")},
        {QStringLiteral("反动"), QStringLiteral("B")},
        {QStringLiteral("邪教"), QStringLiteral("C")},
        {QStringLiteral("色情"), QStringLiteral("D")},
        {QStringLiteral("成人"), QStringLiteral("E")},
        {QStringLiteral("用品"), QStringLiteral("F")},
        {QStringLiteral("同志"), QStringLiteral("G")},
        {QStringLiteral("交友"), QStringLiteral("H")},
        {QStringLiteral("聊天"), QStringLiteral("I")},
        {QStringLiteral("游戏"), QStringLiteral("J")},
        {QStringLiteral("证券"), QStringLiteral("K")},
        {QStringLiteral("其它"), QStringLiteral("L")},
    };
    return classes;
}

std::vector<Step> localSteps()
{
    return {
        plain(QStringLiteral("Drop Database dovrik")),
        plain(QStringLiteral("Create Database dovrik")),
        plain(QStringLiteral("CREATE TABLE passwordtable(Name CHAR(16),Pass CHAR(16))")),
        Step{QStringLiteral("SELECT * FROM passwordtable"),
             {QStringLiteral("INSERT INTO passwordtable VALUES('ADM','739')")}},
        plain(QStringLiteral("CREATE TABLE logtable(Name CHAR(16),IP CHAR(16),AcTime CHAR(17),"
                             "Team CHAR(16),Title CHAR(100),URL CHAR(150),Class CHAR(10),"
                             "Result CHAR(4),nLength CHAR(10),F INTEGER)")),
        plain(QStringLiteral("CREATE Index AcTimeIndex ON logtable(AcTime)")),
        plain(QStringLiteral("CREATE TABLE upsendtable(Name CHAR(16),IP CHAR(16),URL CHAR(150),"
                             "AcTime CHAR(17),UpSendTxt LONGTEXT)")),
        plain(QStringLiteral("CREATE Index AcTimeSend ON upsendtable(AcTime)")),
    };
}

std::vector<Step> remoteTableSteps()
{
    return {
        plain(QStringLiteral("Drop Database ipdata")),
        plain(QStringLiteral("Create Database ipdata")),
        plain(QStringLiteral("CREATE TABLE ServerIP(IP CHAR(16),Port CHAR(5))")),
        plain(QStringLiteral("CREATE TABLE ChatPort(Port CHAR(5),Class CHAR(10),Flag CHAR(1))")),
        plain(QStringLiteral("CREATE TABLE usertable(Name CHAR(16),IP CHAR(16),Team CHAR(16))")),
        plain(QStringLiteral("CREATE Index IPIndex ON usertable(IP)")),
        plain(QStringLiteral("CREATE TABLE webtable(URL CHAR(150),Title CHAR(100),Class CHAR(10),"
                             "AcTime CHAR(17),SF CHAR(1))")),
        plain(QStringLiteral("CREATE Index WebIndex ON webtable(URL)")),
        plain(QStringLiteral("CREATE Index Web_Time ON webtable(AcTime)")),
        plain(QStringLiteral("CREATE TABLE grouptable(Team CHAR(16),DnLog CHAR(1),UpLog CHAR(1),"
                             "A CHAR(24),B CHAR(24),C CHAR(24),D CHAR(24),E CHAR(24),F CHAR(24),"
                             "G CHAR(24),H CHAR(24),I CHAR(24),J CHAR(24),K CHAR(24),L CHAR(24))")),
        plain(QStringLiteral("CREATE TABLE classtable(Class CHAR(10),Code CHAR(1))")),
        plain(QStringLiteral("CREATE TABLE blacktable(Name CHAR(150),Title CHAR(100),"
                             "Class CHAR(10),S CHAR(1))")),
        plain(QStringLiteral("CREATE Index BlackIndex ON blacktable(Name)")),
        plain(QStringLiteral("CREATE TABLE whitetable(Name CHAR(150),Title CHAR(100),S CHAR(1),"
                             "SF CHAR(1))")),
        plain(QStringLiteral("CREATE Index whitetable ON whitetable(Name)")),
        plain(trafficTable(QStringLiteral("uptable"))),
        plain(trafficTable(QStringLiteral("downtable"))),
    };
}

std::vector<Step> remoteSeedSteps(const QString& ownIp)
{
    QStringList classes;
    for (const ClassRow& c : seededClasses())
        classes << QStringLiteral("INSERT INTO classtable VALUES('") + db::sqlEscape(c.name) +
                       QStringLiteral("','") + db::sqlEscape(c.code) + QStringLiteral("')");
    return {
        Step{QStringLiteral("SELECT * FROM ServerIP"),
             {QStringLiteral("INSERT INTO ServerIP VALUES('") + db::sqlEscape(ownIp) +
              QStringLiteral("',5677)")}},
        Step{QStringLiteral("SELECT * FROM classtable"), classes},
        plain(builtInGroupInsert()),
    };
}

QString blackListInsert(const QString& domain, const QString& title, const QString& className)
{
    return QStringLiteral("INSERT INTO blacktable VALUES('") + db::sqlEscape(domain) +
           QStringLiteral("','") + db::sqlEscape(title) + QStringLiteral("','") +
           db::sqlEscape(className) + QStringLiteral("','N')");
}

bool openForInitialisation(db::Connection& connection, const QString& connectionString)
{
    if (connection.open(connectionString))
        return true;
    if (connection.lastError().native != 1049) // anything but "Unknown database"
        return false;
    QString withoutDatabase = connectionString;
    if (!withoutDatabase.isEmpty() && !withoutDatabase.endsWith(u';'))
        withoutDatabase += u';';
    return connection.open(withoutDatabase + QStringLiteral("DATABASE=;"));
}

Outcome runSteps(db::Connection& connection, const std::vector<Step>& steps)
{
    static const QRegularExpression create(QStringLiteral("^Create Database (\\w+)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    Outcome outcome;
    const auto send = [&](const QString& sql) {
        ++outcome.sent;
        if (!connection.execute(sql))
            outcome.failures << sql + QStringLiteral(": ") + connection.lastError().message;
        else if (const auto m = create.match(sql); m.hasMatch())
            connection.selectDatabase(m.captured(1));
    };
    for (const Step& step : steps) {
        if (!step.check.isEmpty()) {
            ++outcome.sent;
            const db::Recordset rs = connection.query(step.check);
            if (connection.failed()) {
                outcome.failures << step.check + QStringLiteral(": ") +
                                        connection.lastError().message;
            }
            if (rs.recordCount() > 0)
                continue;
        }
        for (const QString& sql : step.statements)
            send(sql);
    }
    return outcome;
}

namespace
{

// Whether the tables and seeds are there; the mark is heeded only when asked (the
// initialisation itself looks at the database before it marks it complete).
Completeness checkLog(db::Connection& connection, bool heedMark)
{
    Completeness c = checkTablesAndMark(connection, kLogDatabase, localSteps(), heedMark);
    if (c.state != Completeness::Incomplete) // missing, unknown, or marked complete
        return c;
    requireRows(connection, c, QStringLiteral("SELECT COUNT(*) FROM dovrik.passwordtable"), 1,
                QStringLiteral("passwordtable: 管理员"));
    return settle(c);
}

Completeness checkConfig(db::Connection& connection, bool heedMark)
{
    Completeness c = checkTablesAndMark(connection, kConfigDatabase, remoteTableSteps(), heedMark);
    if (c.state != Completeness::Incomplete) // missing, unknown, or marked complete
        return c;
    QStringList codes;
    for (const ClassRow& row : seededClasses())
        codes << QStringLiteral("'%1'").arg(row.code);
    requireRows(connection, c, QStringLiteral("SELECT COUNT(*) FROM ipdata.ServerIP"), 1,
                QStringLiteral("ServerIP: 服务器地址"));
    requireRows(connection, c,
                QStringLiteral("SELECT COUNT(DISTINCT Code) FROM ipdata.classtable WHERE Code IN "
                               "(%1)")
                    .arg(codes.join(u',')),
                int(codes.size()), QStringLiteral("classtable: 12 个类别"));
    requireRows(connection, c, QStringLiteral("SELECT COUNT(*) FROM ipdata.grouptable"), 1,
                QStringLiteral("grouptable: 工作组"));
    return settle(c);
}

struct HeldRows {
    QString count; // a COUNT(*) statement
    QString what;  // "%1" the count
};

// The entries of what the tables hold; a table that is not there holds nothing.
QStringList held(db::Connection& connection, const std::vector<HeldRows>& tables)
{
    QStringList found;
    for (const HeldRows& t : tables) {
        const db::Recordset rs = connection.query(t.count);
        const qint64 n = rs.recordCount() > 0 ? rs.field(0).toLongLong() : 0;
        if (n > 0)
            found << t.what.arg(n);
    }
    return found;
}

} // namespace

Completeness checkLogDatabase(db::Connection& connection)
{
    Completeness c = checkLog(connection, true);
    if (c.state == Completeness::Incomplete)
        c.held = held(
            connection,
            {{QStringLiteral("SELECT COUNT(*) FROM dovrik.logtable"),
              QStringLiteral("logtable: %1 行日志")},
             {QStringLiteral("SELECT COUNT(*) FROM dovrik.upsendtable"),
              QStringLiteral("upsendtable: %1 条上传记录")},
             {QStringLiteral("SELECT COUNT(*) FROM dovrik.passwordtable WHERE NOT (BINARY "
                             "COALESCE(Trim(Name),'')='ADM' AND BINARY COALESCE(Trim(Pass),'')="
                             "'739')"),
              QStringLiteral("passwordtable: %1 个初始账号以外的管理员账号")}});
    return c;
}

Completeness checkConfigDatabase(db::Connection& connection)
{
    Completeness c = checkConfig(connection, true);
    if (c.state == Completeness::Incomplete)
        c.held = held(connection,
                      {{QStringLiteral("SELECT COUNT(*) FROM ipdata.usertable"),
                        QStringLiteral("usertable: %1 个终端")},
                       {QStringLiteral("SELECT COUNT(*) FROM ipdata.grouptable WHERE NOT BINARY "
                                       "COALESCE(Trim(Team),'')='") +
                            kBuiltInGroup + u'\'',
                        QStringLiteral("grouptable: %1 个组别")},
                       {QStringLiteral("SELECT COUNT(*) FROM ipdata.blacktable WHERE S='S'"),
                        QStringLiteral("blacktable: %1 条管理员加入的黑名单")},
                       {QStringLiteral("SELECT COUNT(*) FROM ipdata.whitetable WHERE S='S'"),
                        QStringLiteral("whitetable: %1 条白名单")}});
    return c;
}

QString initialisationMark(db::Connection& connection, const QString& database)
{
    const db::Recordset rs = connection.query(
        QStringLiteral("SELECT SCHEMA_COMMENT FROM information_schema.SCHEMATA WHERE "
                       "SCHEMA_NAME='%1'")
            .arg(db::sqlEscape(database)));
    return rs.recordCount() > 0 ? rs.field(0).toString() : QString();
}

namespace
{

// The reading indexes and the day sums on the new, empty log tables. Sums the server will not
// keep (no right to create triggers) leave a notice; the database is complete without them.
void addReadingIndexes(db::Connection& connection, Outcome& outcome)
{
    const UpgradeOutcome upgrade = upgradeLogDatabase(connection);
    outcome.sent += int(upgrade.added.size() + upgrade.failures.size());
    outcome.failures << upgrade.failures;
    outcome.notices << upgrade.notices;
}

} // namespace

Outcome initialiseLogDatabase(db::Connection& connection, Marking marking)
{
    if (marking == Marking::None) {
        Outcome outcome = runSteps(connection, localSteps());
        addReadingIndexes(connection, outcome);
        return outcome;
    }
    Outcome outcome = runSteps(connection, markedSteps(localSteps(), kLogDatabase));
    // What only an upgrade would add again (a server may refuse the triggers) is reported
    // among the failures but does not keep the database from being complete.
    const bool stepsDone = onlyHarmlessFailures(outcome.failures);
    addReadingIndexes(connection, outcome);
    if (stepsDone && checkLog(connection, false).complete())
        outcome.complete = mark(connection, kLogDatabase, kMarkComplete, outcome);
    return outcome;
}

ConfigOutcome initialiseConfigDatabase(db::Connection& connection, const QString& blackNameFile,
                                       const QString& ownIp, const BlackListProgress& progress,
                                       Marking marking)
{
    ConfigOutcome outcome;
    static_cast<Outcome&>(outcome) = runSteps(
        connection, marking == Marking::Marks ? markedSteps(remoteTableSteps(), kConfigDatabase)
                                              : remoteTableSteps());
    int total = 0;
    const blacklist::ImportResult imported =
        blacklist::import(connection, blackNameFile, [&](int done, int all) {
            total = all;
            if (progress)
                progress(done, all);
        });
    outcome.blackListRecords = std::max(total, imported.inserted);
    outcome.blackListDeclared = imported.declared;
    outcome.blackListSkipped = imported.skipped;
    outcome.sent += imported.inserted + int(imported.failures.size());
    if (!imported.fileFound)
        outcome.failures << blackNameFile + QStringLiteral(": cannot be opened");
    // A skipped record costs only itself; what else failed keeps the database from counting as
    // complete.
    const QSet<QString> skipped(imported.skipped.cbegin(), imported.skipped.cend());
    for (const QString& failure : imported.failures) {
        if (!skipped.contains(failure))
            outcome.failures << failure;
    }
    // What the server really holds: a connection lost half-way leaves fewer rows than were sent.
    const db::Recordset stored =
        connection.query(QStringLiteral("SELECT COUNT(*) FROM ipdata.blacktable"));
    if (stored.recordCount() > 0)
        outcome.blackListStored = stored.field(0).toInt();
    const Outcome seeds = runSteps(connection, remoteSeedSteps(ownIp));
    outcome.sent += seeds.sent;
    outcome.failures << seeds.failures;
    if (marking == Marking::Marks && imported.fileFound &&
        outcome.blackListStored >= imported.inserted && onlyHarmlessFailures(outcome.failures) &&
        checkConfig(connection, false).complete())
        outcome.complete = mark(connection, kConfigDatabase, kMarkComplete, outcome);
    return outcome;
}

} // namespace lt::schema
