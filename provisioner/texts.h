#pragma once
// What the provisioner shows and says: captions, status texts and messages.

#include <QString>

namespace lt::prov::text
{

// The program's own title on its message boxes.
inline const QString kProgramTitle = QStringLiteral("Lantrove系统");

// Main window
inline const QString kMainCaption = QStringLiteral("Lantrove系统——配置数据源");
inline const QString kAddressFrame = QStringLiteral("数据采集监控系统IP地址");
inline const QString kAddressDot = QStringLiteral("．");
inline const QString kRegister = QStringLiteral("配置数据源");
inline const QString kTest = QStringLiteral("测  试");
inline const QString kInitialise = QStringLiteral("初始化");
// Adds to a log database what this version reads it with; every row is kept.
inline const QString kUpgrade = QStringLiteral("升级数据库");
inline const QString kUpgradeQuestion =
    QStringLiteral("将为安全控制中心数据库补建索引和日汇总表，全部日志保留不动。日志越多用时越长，"
                   "其间监控模块照常写入。是否继续？");
inline const QString kChooseAdapter = QStringLiteral("选择网卡");
inline const QString kClose = QStringLiteral("关  闭");
inline const QString kAddressPartEmpty = QStringLiteral("IP为空不能");
inline const QString kRegistered = QStringLiteral("数据源配置完毕!");
inline const QString kRegisterFailed = QStringLiteral("数据源配置失败，odbc.ini 无法写入!");
inline const QString kPortLabel = QStringLiteral("端口：");
inline const QString kBadPort = QStringLiteral("端口号必须是 1 至 65535 的数字");

// Connection test
inline const QString kConnectingLog = QStringLiteral("正在连接安全控制中心数据库，请等待．．．");
inline const QString kLogConnected = QStringLiteral("安全控制中心数据库连接正常");
inline const QString kLogNotConnected = QStringLiteral("安全控制中心数据库连接失败");
inline const QString kConnectingConfig =
    QStringLiteral("正在连接数据采集监控系统数据库，请等待．．．");
inline const QString kConfigConnected = QStringLiteral("数据采集监控系统连接正常");
inline const QString kConfigNotConnected = QStringLiteral("数据采集监控系统连接失败");

// Login dialog
inline const QString kLoginCaption = QStringLiteral("登录Lantrove系统");
inline const QString kUserNameLabel = QStringLiteral("管理员名称：");
inline const QString kPasswordLabel = QStringLiteral("管理员口令：");
inline const QString kOk = QStringLiteral("确定");
inline const QString kCancel = QStringLiteral("取消");
inline const QString kBlackNameMissing = QStringLiteral("文件 BlackName.dat 丟失");
inline const QString kInvalidLogin = QStringLiteral("无效的用户名或密码，请重试!");
inline const QString kSystemFileBroken = QStringLiteral("系统文件被破坏!");

// Initialisation dialog
inline const QString kInitCaption = QStringLiteral("Lantrove系统");
inline const QString kInitLogBox = QStringLiteral("初始化安全控制中心数据");
inline const QString kInitConfigBox = QStringLiteral("初始化数据采集监控系统");
inline const QString kAskInitLog =
    QStringLiteral("初始化安全控制中心数据将删除浏览日志和上传日志，确定吗？");
inline const QString kAskInitConfig =
    QStringLiteral("初始化数据采集监控系统将删除所有配置数据，确定吗？");
inline const QString kInitialisingLog =
    QStringLiteral("正在初始化安全控制中心数据库，请等待．．．");
inline const QString kInitialisingConfig =
    QStringLiteral("正在初始化数据采集监控系统数据库，请等待．．．");
inline const QString kImporting = QStringLiteral("正在导入黑名单：%1/%2");
inline const QString kLogInitialised = QStringLiteral("安全控制中心数据库初始化完毕");
inline const QString kConfigInitialised =
    QStringLiteral("数据采集监控系统数据库初始化完毕，导入黑名单 %1 条");
inline const QString kLogInitFailed = QStringLiteral("安全控制中心数据库初始化出错，%1 条语句失败");
inline const QString kConfigInitFailed =
    QStringLiteral("数据采集监控系统数据库初始化出错，%1 条语句失败");
inline const QString kLogInitIncomplete =
    QStringLiteral("安全控制中心数据库没有初始化完毕，请重新初始化");
inline const QString kConfigInitIncomplete = QStringLiteral(
    "数据采集监控系统数据库没有初始化完毕：黑名单共 %1 条，只导入了 %2 条，请重新初始化");
// Records of the delivered black list that were passed over; the records follow as the detail.
inline const QString kBlackListSkipped = QStringLiteral(
    "黑名单文件 BlackName.dat 记载 %1 条记录，导入了 %2 条；以下记录未能导入，已跳过：");
inline const QString kMoreSkipped = QStringLiteral("……另有 %1 条记录未能导入，见详细信息");
inline const QString kConfigInitLost =
    QStringLiteral("数据采集监控系统数据库没有初始化完毕：与数据库的连接已断开，请重新初始化");

// Whether a database is complete (the command line's --check)
inline const QString kLogDatabaseName = QStringLiteral("安全控制中心");
inline const QString kConfigDatabaseName = QStringLiteral("数据采集监控系统");
inline const QString kDatabaseComplete = QStringLiteral("%1数据库已初始化完毕");
inline const QString kDatabaseMissing = QStringLiteral("%1数据库没有初始化");
inline const QString kDatabaseIncomplete = QStringLiteral("%1数据库没有初始化完毕");
// An unfinished database that holds what an administrator put there: the name, then what it
// holds; the second line says what to run (log or config, the console's backup option).
inline const QString kDatabaseIncompleteWithData =
    QStringLiteral("%1数据库没有初始化完毕，但其中有管理员的数据：%2");
inline const QString kDoNotInitialise = QStringLiteral(
    "为保护这些数据，不会自动初始化这个数据库。确需重新初始化（这些数据将被删除）时，"
    "请先备份（overseer %2 文件），再运行：provisioner --init %1 --yes");

// A failure's status text: what failed, then the reason the server or driver gave
inline const QString kFailureWithReason = QStringLiteral("%1：%2");

// Adapter dialog
inline const QString kAdapterCaption = QStringLiteral("选择网卡");
inline const QString kAdapterPrompt = QStringLiteral("请选择系统监听网卡:");

// Black list export
inline const QString kAccessCodePrompt = QStringLiteral("请输入口令:");
inline const QString kExportFailed = QStringLiteral("黑名单主表无法读取，BlackName.dat 未改动");
inline const QString kExportNotWritten = QStringLiteral("%1 无法写入");
inline const QString kExportTruncated =
    QStringLiteral("黑名单主表有 %1 条记录，BlackName.dat 只能容纳 %2 条，已写入前 %2 条");

} // namespace lt::prov::text
