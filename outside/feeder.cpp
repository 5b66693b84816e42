#include "outside/feeder.h"

#include "common/clock.h"
#include "common/datasources.h"
#include "common/installation.h"
#include "common/odbc.h"

#include <QSettings>
#include <algorithm>

namespace lt::outside
{

namespace
{

struct Page {
    const char* url;
    const char* title;
    char code; // class code of classtable; 0 = not classified
    const char* server;
};

// What the terminals of an office visit.
const Page kPages[] = {
    {"http://news.huaxia-portal.cn/", "华夏门户 - 新闻中心", 'A', "121.14.88.10"},
    {"http://www.huaxia-portal.cn/weather/", "天气预报 - 未来七天", 'A', "121.14.88.10"},
    {"http://search.zhidao-so.cn/s?wd=报销流程", "报销流程_搜索结果", 'A', "61.135.169.21"},
    {"http://mail.dongfang-mail.cn/inbox", "东方邮箱 - 收件箱", 'A', "183.60.15.4"},
    {"http://shop.jingxuan-mall.cn/item/20931", "精选商城 - 办公椅 人体工学", 'A', "101.226.4.6"},
    {"http://stock.caifu-net.cn/quote/600519", "财富网 - 行情中心", 'K', "116.211.7.30"},
    {"http://fund.caifu-net.cn/", "基金净值排行", 'K', "116.211.7.30"},
    {"http://www.xiaoyouxi-4u.cn/", "小游戏大全 - 在线玩", 'J', "59.111.20.8"},
    {"http://chat.liaotian-room.cn/room/12", "在线聊天室 - 12号房间", 'I', "220.181.7.190"},
    {"http://www.jiaoyou-yuan.cn/", "交友园 - 认识新朋友", 'H', "14.215.177.38"},
    {"http://bbs.luntan-tianya.cn/post/88231", "社区论坛 - 周末去哪儿玩？", 'L', "124.225.65.9"},
    {"http://www.yongpin-shop.cn/", "成人用品商城", 'F', "47.96.1.12"},
    {"http://x.buliang-site.cn/", "不良网站", 'D', "198.51.100.23"},
    {"http://blog.suibi-ji.cn/2024/05/12", "个人博客 - 随笔", 0, "42.81.9.14"},
    {"http://www.xuexi-wendang.cn/doc/7731", "Excel 数据透视表入门教程", 0, "39.156.66.18"},
    {"http://video.shipin-kan.cn/play/9912", "视频播放 - 纪录片《长江》", 0, "111.13.101.208"},
};

// Texts that the terminals send: forms, messages, searches.
const char* const kUploads[] = {
    "用户名=zhangwei&留言=明天上午九点在三楼会议室开会",
    "subject=三季度报表&body=请查收附件中的三季度财务报表，谢谢。",
    "搜索：上海到北京的火车票",
    "评论：这家店的办公椅质量不错，发货也快。",
    "msg=下班一起吃饭吗？",
};

// Terminals that browse when none are registered yet.
const Terminal kMadeUpTerminals[] = {
    {QStringLiteral("财务-01"), QStringLiteral("192.168.1.21"), QStringLiteral("临时工作组")},
    {QStringLiteral("销售-02"), QStringLiteral("192.168.1.35"), QStringLiteral("临时工作组")},
    {QStringLiteral("前台"), QStringLiteral("192.168.1.50"), QStringLiteral("临时工作组")},
    {QStringLiteral("经理室"), QStringLiteral("192.168.1.8"), QStringLiteral("临时工作组")},
};

// Classes whose pages the blocking module turns away.
bool blockedClass(char code)
{
    return code == 'B' || code == 'C' || code == 'D';
}

QString hostOf(const QString& url)
{
    QString host = url.section(QStringLiteral("://"), 1);
    return host.section(QLatin1Char('/'), 0, 0);
}

constexpr int kRetryMs = 60 * 1000;
constexpr int kRefreshMs = 5 * 60 * 1000;

} // namespace

Feeder::Feeder(db::Connection& log, db::Connection& config, quint32 seed)
    : log_(log), config_(config), random_(seed), writer_(log, config)
{
}

void Feeder::refresh()
{
    terminals_.clear();
    db::Recordset users = config_.query(QStringLiteral("SELECT Name,IP,Team FROM usertable"));
    for (; users.isOpen() && !users.eof(); users.moveNext()) {
        terminals_.append({users.field(0).toString().trimmed(), users.field(1).toString().trimmed(),
                           users.field(2).toString().trimmed()});
    }
    if (terminals_.isEmpty())
        terminals_ = QList<Terminal>(std::begin(kMadeUpTerminals), std::end(kMadeUpTerminals));

    classNames_.clear();
    db::Recordset classes = config_.query(QStringLiteral("SELECT Class,Code FROM classtable"));
    for (; classes.isOpen() && !classes.eof(); classes.moveNext())
        classNames_.insert(classes.field(1).toString().trimmed(),
                           classes.field(0).toString().trimmed());
}

Visit Feeder::makeVisit(const QDateTime& when)
{
    if (terminals_.isEmpty())
        refresh();
    const Page& page = kPages[random_.bounded(int(std::size(kPages)))];
    Visit visit;
    visit.terminal = terminals_[random_.bounded(int(terminals_.size()))];
    visit.when = when;
    visit.url = QString::fromUtf8(page.url);
    visit.title = QString::fromUtf8(page.title);
    visit.host = hostOf(visit.url);
    visit.serverIp = QString::fromLatin1(page.server);
    if (page.code)
        visit.className = classNames_.value(QString(QLatin1Char(page.code)));
    if (blockedClass(page.code))
        visit.result = QStringLiteral("阻断");
    else if (random_.bounded(10) == 0)
        visit.result = QStringLiteral("积累");
    else
        visit.result = QStringLiteral("放行");
    // A blocked page is answered with the short block notice.
    visit.length =
        blockedClass(page.code) ? 200 + random_.bounded(400) : 512 + random_.bounded(200000);
    visit.sourcePort = 1024 + int(qHashMulti(0, visit.terminal.ip, visit.host) % 60000);
    if (random_.bounded(8) == 0)
        visit.upload = QString::fromUtf8(kUploads[random_.bounded(int(std::size(kUploads)))]);
    return visit;
}

void Feeder::add(const Visit& v)
{
    const QString time = acTime(v.when);
    const Terminal& t = v.terminal;
    writer_.add(logrows::LogRow{t.name, t.ip, time, t.team, v.title, v.url, v.className, v.result,
                                v.length, 1});
    if (!v.upload.isEmpty())
        writer_.add(logrows::UploadRow{t.name, t.ip, v.url, time, v.upload});
    writer_.add(logrows::VisitRow{v.url, v.title, v.className, time});
    logrows::TrafficRow counters;
    counters.key = {t.ip,   v.serverIp,   v.when.date().toString(QStringLiteral("yyyy-MM-dd")),
                    v.host, v.sourcePort, 80};
    const size_t hour = size_t(v.when.time().hour());
    counters.up[hour] = v.length / 10 + 200;
    counters.down[hour] = v.length;
    writer_.add(counters);
}

bool Feeder::write(const Visit& v)
{
    add(v);
    return writer_.flush();
}

bool Feeder::feed(int count)
{
    for (int i = 0; i < count; ++i)
        add(makeVisit(Clock::now()));
    return writer_.flush();
}

FeedService::FeedService(int rowsPerMinute, QObject* parent)
    : QObject(parent), rate_(std::max(rowsPerMinute, 1))
{
    ticker_.setInterval(std::clamp(60000 / rate_, 50, 10000));
    connect(&ticker_, &QTimer::timeout, this, &FeedService::tick);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &FeedService::connectDatabases);
    QTimer::singleShot(0, this, &FeedService::connectDatabases);
}

FeedService::~FeedService() = default;

void FeedService::connectDatabases()
{
    const dsn::ConnectionStrings strings = dsn::chosenConnectionStrings();
    log_ = std::make_unique<db::Connection>();
    config_ = std::make_unique<db::Connection>();
    if (!log_->open(strings.log) || !config_->open(strings.config)) {
        fail();
        return;
    }
    feeder_ = std::make_unique<Feeder>(*log_, *config_, QRandomGenerator::global()->generate());
    feeder_->refresh();
    refreshed_.start();
    running_.start();
    writtenInRun_ = 0;
    ticker_.start();
}

void FeedService::tick()
{
    if (refreshed_.elapsed() > kRefreshMs) {
        feeder_->refresh();
        refreshed_.restart();
    }
    const qint64 due = running_.elapsed() * rate_ / 60000 - writtenInRun_;
    for (qint64 i = 0; i < std::min<qint64>(due, 1000); ++i) {
        if (!feeder_->feed(1)) {
            fail();
            return;
        }
        ++writtenInRun_;
        ++written_;
    }
}

void FeedService::fail()
{
    ticker_.stop();
    feeder_.reset();
    log_.reset();
    config_.reset();
    retry_.start();
}

int configuredFeedRate(const std::optional<int>& commandLine)
{
    if (commandLine)
        return std::max(*commandLine, 0);
    const QSettings ini(Installation::appDir() + QStringLiteral("/qmlxsn.ini"),
                        QSettings::IniFormat);
    return std::max(ini.value(QStringLiteral("monitor/FeedRate"), 0).toInt(), 0);
}

} // namespace lt::outside
