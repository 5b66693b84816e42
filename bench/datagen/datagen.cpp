#include "bench/datagen/datagen.h"

#include "common/clock.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/logrows.h"
#include "common/netinfo.h"
#include "common/odbc.h"
#include "common/schema.h"

#include <QRandomGenerator>
#include <QStringList>
#include <functional>
#include <vector>

namespace lt::bench
{

namespace
{

constexpr int kRowsPerStatement = 1000;
constexpr int kStatementsPerTransaction = 20;

const QStringList& titles()
{
    static const QStringList t = {
        QStringLiteral("新闻首页"),        QStringLiteral("体育频道 - 足球"),
        QStringLiteral("在线词典"),        QStringLiteral("天气预报：晴转多云"),
        QStringLiteral("网上银行登录"),    QStringLiteral("视频点播"),
        QStringLiteral("搜索结果"),        QStringLiteral("论坛 - 技术交流"),
        QStringLiteral("邮箱收件箱"),      QStringLiteral("股票行情"),
        QStringLiteral("网页游戏大厅"),    QStringLiteral("在线聊天室"),
        QStringLiteral("购物商城 - 特价"), QStringLiteral("地图导航"),
        QStringLiteral("教育资源网"),
    };
    return t;
}

const QStringList& classes()
{
    static const QStringList c = {QStringLiteral("上网"), QStringLiteral("上网"),
                                  QStringLiteral("上网"), QStringLiteral("游戏"),
                                  QStringLiteral("聊天"), QStringLiteral("证券"),
                                  QStringLiteral("其它")};
    return c;
}

QString q(const QString& value)
{
    return u'\'' + db::sqlEscape(value) + u'\'';
}

struct Terminal {
    QString name;
    QString ip;
    QString team;
};

Terminal terminal(int index)
{
    static const QStringList rooms = {QStringLiteral("教室A"), QStringLiteral("教室B"),
                                      QStringLiteral("办公室"), QStringLiteral("财务"),
                                      QStringLiteral("机房")};
    const QString room = rooms.at(index % rooms.size());
    return {
        QStringLiteral("%1-%2").arg(room).arg(index / rooms.size() + 1, 2, 10, QLatin1Char('0')),
        QStringLiteral("192.168.%1.%2").arg(1 + index / 250).arg(2 + index % 250),
        room + QStringLiteral("组")};
}

// Time stamps ascending from options.first over options.days, in bursts of one to eight rows
// that share a second (a page and what it loads).
class Stamps
{
public:
    Stamps(const GenOptions& o, QRandomGenerator& rng)
        : first_(o.first), span_(qint64(o.days) * 86400), rows_(std::max<qint64>(o.rows, 1)),
          rng_(rng)
    {
    }
    QString next()
    {
        if (left_ == 0) {
            left_ = 1 + int(rng_.bounded(8));
            current_ = acTime(first_.addSecs(done_ * span_ / rows_));
        }
        --left_;
        ++done_;
        return current_;
    }

private:
    QDateTime first_;
    qint64 span_;
    qint64 rows_;
    QRandomGenerator& rng_;
    qint64 done_ = 0;
    int left_ = 0;
    QString current_;
};

// Sends the statements of rows [start, end) in turns of kRowsPerStatement rows, committing
// every few statements.
qint64 fill(db::Connection& c, qint64 rows,
            const std::function<QString(qint64 start, qint64 end)>& statement)
{
    qint64 inserted = 0;
    int statements = 0;
    c.beginTransaction();
    for (qint64 start = 0; start < rows; start += kRowsPerStatement) {
        const qint64 end = std::min(rows, start + kRowsPerStatement);
        if (!c.execute(statement(start, end)))
            break;
        inserted += end - start;
        if (++statements % kStatementsPerTransaction == 0) {
            c.commit();
            c.beginTransaction();
        }
    }
    c.commit();
    return inserted;
}

// The same for rows of one of the row layouts, statements made by their owner.
template <typename Row>
qint64 fillRows(db::Connection& c, qint64 rows, const std::function<Row(qint64)>& row)
{
    std::vector<Row> batch;
    batch.reserve(kRowsPerStatement);
    return fill(c, rows, [&](qint64 start, qint64 end) {
        batch.clear();
        for (qint64 i = start; i < end; ++i)
            batch.push_back(row(i));
        return logrows::insertStatement(batch.data(), batch.data() + batch.size());
    });
}

} // namespace

bool provisionLocal(db::Connection& log, db::Connection& config, QString* why)
{
    dsn::registerDataSources(dsn::kLocalAddress);
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    if (!schema::openForInitialisation(log, strings.log) ||
        !schema::openForInitialisation(config, strings.config)) {
        if (why)
            *why = log.lastError().message + u' ' + config.lastError().message;
        return false;
    }
    schema::initialiseLogDatabase(log);
    schema::initialiseConfigDatabase(
        config, Installation::appDir() + QStringLiteral("/BlackName.dat"), net::ownIPv4());
    return true;
}

qint64 fillLogTable(db::Connection& log, const GenOptions& o)
{
    QRandomGenerator rng(o.seed);
    Stamps stamps(o, rng);
    static const QStringList results = {QStringLiteral("放行"), QStringLiteral("放行"),
                                        QStringLiteral("放行"), QStringLiteral("阻断"),
                                        QStringLiteral("积累")};
    return fillRows<logrows::LogRow>(log, o.rows, [&](qint64) {
        const Terminal t = terminal(int(rng.bounded(200)));
        const int page = int(rng.bounded(5000));
        logrows::LogRow row;
        row.name = t.name;
        row.ip = t.ip;
        row.acTime = stamps.next();
        row.team = t.team;
        row.title = titles().at(page % titles().size());
        row.url =
            QStringLiteral("http://www.site%1.example/page/%2.html").arg(page % 400).arg(page);
        row.className = classes().at(page % classes().size());
        row.result = results.at(int(rng.bounded(int(results.size()))));
        row.length = 200 + rng.bounded(200000);
        return row;
    });
}

qint64 fillUploadTable(db::Connection& log, const GenOptions& o)
{
    QRandomGenerator rng(o.seed);
    Stamps stamps(o, rng);
    return fillRows<logrows::UploadRow>(log, o.rows, [&](qint64 i) {
        const Terminal t = terminal(int(rng.bounded(200)));
        return logrows::UploadRow{
            t.name, t.ip, QStringLiteral("http://mail.site%1.example/compose").arg(i % 50),
            stamps.next(),
            QStringLiteral("用户名=学生%1&内容=今天的作业已经完成，请老师查收。第%2次提交。")
                .arg(i % 977)
                .arg(i)};
    });
}

qint64 fillWebTable(db::Connection& config, const GenOptions& o)
{
    QRandomGenerator rng(o.seed);
    Stamps stamps(o, rng);
    return fillRows<logrows::VisitRow>(config, o.rows, [&](qint64 i) {
        const bool unclassified = rng.generateDouble() < o.unclassifiedShare;
        return logrows::VisitRow{
            QStringLiteral("http://www.site%1.example/p%2.html").arg(i % 997).arg(i),
            titles().at(int(i % titles().size())),
            unclassified ? QString() : classes().at(int(i % classes().size())), stamps.next()};
    });
}

qint64 fillTerminals(db::Connection& config, int count)
{
    return fill(config, count, [&](qint64 start, qint64 end) {
        QString sql = QStringLiteral("INSERT INTO usertable(Name,IP,Team) VALUES");
        for (qint64 i = start; i < end; ++i) {
            const Terminal t = terminal(int(i));
            if (i > start)
                sql += u',';
            sql += u'(' + q(t.name) + u',' + q(t.ip) + u',' + q(t.team) + u')';
        }
        return sql;
    });
}

} // namespace lt::bench
