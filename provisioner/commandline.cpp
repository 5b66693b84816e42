#include "provisioner/commandline.h"

#include "common/datasources.h"
#include "common/netinfo.h"
#include "common/sharedfiles.h"
#include "provisioner/adapters.h"
#include "provisioner/operations.h"
#include "provisioner/texts.h"

#include <cstdio>

namespace lt::prov
{

namespace
{

void print(const QString& line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

void printError(const QString& line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stderr);
    std::fflush(stderr);
}

// Prints what the window would show; answers its questions with --yes.
class ConsoleReporter : public Reporter
{
public:
    explicit ConsoleReporter(bool yes) : yes_(yes) {}
    void status(const QString& text) override
    {
        if (!text.isEmpty())
            print(text);
    }
    void busy(bool) override {}
    void notice(const QString& text) override { print(text); }
    void detail(const QString& text) override
    {
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
            printError(QStringLiteral("  ") + line);
    }
    bool confirm(const QString& question) override
    {
        print(question + (yes_ ? QStringLiteral(" 是（--yes）") : QStringLiteral(" 否")));
        return yes_;
    }
    void progress(int done, int total) override
    {
        if (done == total)
            Reporter::progress(done, total);
    }

private:
    bool yes_;
};

int registerAddress(const QString& address, const QString& port)
{
    const Registration result = registerServer(partsOfTypedAddress(address), port);
    if (result.badPort) {
        print(text::kBadPort);
        printError(QStringLiteral("  端口 \"%1\" 无效").arg(port));
        return ExitFailed;
    }
    if (result.emptyPart >= 0) {
        print(text::kAddressPartEmpty);
        printError(QStringLiteral("  地址 \"%1\" 的第 %2 段不是 0 至 255 的数字")
                       .arg(address)
                       .arg(result.emptyPart + 1));
        return ExitFailed;
    }
    print(result.written ? text::kRegistered : text::kRegisterFailed);
    return result.written ? ExitOk : ExitFailed;
}

int initialise(const CommandLine& cl, Databases& dbs)
{
    ConsoleReporter reporter(cl.yes);
    bool declined = false;
    bool failed = false;
    if (cl.initLog) {
        const InitResult r = initialiseLogDatabase(dbs, reporter);
        declined |= r.status == InitStatus::Declined;
        failed |= r.status != InitStatus::Done && r.status != InitStatus::Declined;
    }
    if (cl.initConfig) {
        const InitResult r = initialiseConfigDatabase(dbs, reporter, net::ownIPv4());
        declined |= r.status == InitStatus::Declined;
        failed |= r.status != InitStatus::Done && r.status != InitStatus::Declined;
    }
    if (declined) {
        print(QStringLiteral("未加 --yes 确认：没有删除任何数据"));
        return ExitNotConfirmed;
    }
    return failed ? ExitFailed : ExitOk;
}

int check(const CommandLine& cl)
{
    ConsoleReporter reporter(false);
    const CheckResult r = checkDatabases(cl.checkLog, cl.checkConfig, reporter);
    bool unknown = false;
    bool incomplete = false;
    bool holdsData = false;
    for (const auto& [asked, c] :
         {std::pair{cl.checkLog, r.log}, std::pair{cl.checkConfig, r.config}}) {
        if (!asked)
            continue;
        unknown |= c.state == schema::Completeness::Unknown;
        incomplete |=
            c.state == schema::Completeness::Missing || c.state == schema::Completeness::Incomplete;
        holdsData |= !c.held.isEmpty();
    }
    if (unknown)
        return ExitFailed;
    if (holdsData)
        return ExitIncompleteWithData;
    return incomplete ? ExitIncomplete : ExitOk;
}

int listAdapters()
{
    print(text::kAdapterPrompt);
    const QStringList entries = adapterDescriptions(readAdapterBuffer());
    for (int i = 0; i < entries.size(); ++i)
        print(QStringLiteral("%1  %2").arg(i + 1, 3).arg(entries[i]));
    if (entries.isEmpty())
        print(QStringLiteral("（没有找到网卡）"));
    print(QStringLiteral("LocalPort.txt 中的网卡编号：%1")
              .arg(readLocalPort(localPortPath()).value_or(QStringLiteral("（无）"))));
    return ExitOk;
}

int chooseAdapter(const QString& typed)
{
    const QStringList entries = adapterDescriptions(readAdapterBuffer());
    const int highest = std::max(1, int(entries.size()));
    bool ok = false;
    const int number = typed.toInt(&ok);
    if (!ok || number < 1 || number > highest) {
        printError(QStringLiteral("网卡编号 %1 无效，可选 1 至 %2").arg(typed).arg(highest));
        return ExitFailed;
    }
    if (!writeAdapterChoice(number - 1)) {
        printError(localPortPath() + QStringLiteral(" 无法写入"));
        return ExitFailed;
    }
    print(QStringLiteral("已选择网卡 %1：%2").arg(number).arg(entries.value(number - 1)));
    return ExitOk;
}

int run(const CommandLine& cl)
{
    if (!blackNameFilePresent()) {
        print(text::kBlackNameMissing);
        return ExitFailed;
    }
    if (!credentialFileReadable()) {
        print(text::kSystemFileBroken);
        return ExitFailed;
    }
    startUp();
    Databases dbs;
    int status = ExitOk;
    if (cl.doRegister)
        status = registerAddress(cl.address, cl.port);
    if (status == ExitOk && (cl.initLog || cl.initConfig))
        status = initialise(cl, dbs);
    if (status == ExitOk && cl.upgrade) {
        ConsoleReporter reporter(false);
        status = upgradeLogDatabase(reporter) ? ExitOk : ExitFailed;
    }
    if (status == ExitOk && (cl.checkLog || cl.checkConfig))
        status = check(cl);
    if (status == ExitOk && cl.test)
        status = [&] {
            ConsoleReporter reporter(false);
            return testConnections(dbs, reporter) ? ExitOk : ExitFailed;
        }();
    if (status == ExitOk && cl.listAdapters)
        status = listAdapters();
    if (status == ExitOk && cl.chooseAdapter)
        status = chooseAdapter(cl.adapter);
    return status;
}

} // namespace

bool isCommandLine(int argc, char** argv)
{
    if (argc < 2)
        return false;
    const QByteArray first(argv[1]);
    return first.startsWith("--") || first == "-h";
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine cl;
    const auto valueAfter = [&](qsizetype& i, QString& into) {
        if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QStringLiteral("--")))
            return false;
        into = arguments[++i];
        return true;
    };
    for (qsizetype i = 0; i < arguments.size() && cl.error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        QString value;
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            cl.help = true;
        } else if (a == QStringLiteral("--register")) {
            cl.doRegister = valueAfter(i, value);
            const AddressAndPort typed = splitAddressAndPort(value, dsn::kRemotePort);
            cl.address = typed.address;
            cl.port = typed.port;
            if (!cl.doRegister)
                cl.error = QStringLiteral("--register 需要服务器地址，例如 0.0.0.0");
        } else if (a == QStringLiteral("--test")) {
            cl.test = true;
        } else if (a == QStringLiteral("--init")) {
            valueAfter(i, value);
            cl.initLog |= value == QStringLiteral("log") || value == QStringLiteral("both");
            cl.initConfig |= value == QStringLiteral("config") || value == QStringLiteral("both");
            if (value != QStringLiteral("log") && value != QStringLiteral("config") &&
                value != QStringLiteral("both"))
                cl.error = QStringLiteral("--init 需要 log、config 或 both");
        } else if (a == QStringLiteral("--check")) {
            valueAfter(i, value);
            cl.checkLog |= value == QStringLiteral("log") || value == QStringLiteral("both");
            cl.checkConfig |= value == QStringLiteral("config") || value == QStringLiteral("both");
            if (!cl.checkLog && !cl.checkConfig)
                cl.error = QStringLiteral("--check 需要 log、config 或 both");
        } else if (a == QStringLiteral("--upgrade")) {
            cl.upgrade = true;
        } else if (a == QStringLiteral("--yes")) {
            cl.yes = true;
        } else if (a == QStringLiteral("--list-adapters")) {
            cl.listAdapters = true;
        } else if (a == QStringLiteral("--adapter")) {
            cl.chooseAdapter = valueAfter(i, cl.adapter);
            if (!cl.chooseAdapter)
                cl.error = QStringLiteral("--adapter 需要网卡编号");
        } else {
            cl.error = QStringLiteral("无法识别的参数：") + a;
        }
    }
    return cl;
}

QString usageText()
{
    return QStringLiteral(
        "用法：provisioner [选项]\n"
        "不带选项时显示配置窗口（需要管理员登录）。\n"
        "\n"
        "  --register 地址[:端口]   配置两个数据源；0.0.0.0 表示本机的数据库服务器，\n"
        "                           其他地址的服务器默认使用端口 3306\n"
        "  --init log|config|both   初始化安全控制中心(log)、数据采集监控系统(config)或两者；\n"
        "                           会删除原有数据，必须同时加 --yes\n"
        "  --yes                    确认初始化\n"
        "  --upgrade                为已有的安全控制中心数据库补建索引（保留全部日志）\n"
        "  --check log|config|both  检查数据库是否已完整初始化\n"
        "  --test                   测试两个数据库的连接\n"
        "  --list-adapters          列出可供监听的网卡及其编号\n"
        "  --adapter 编号           选择监听网卡，写入 LocalPort.txt\n"
        "  --help                   显示本说明\n"
        "\n"
        "多个选项按上面的顺序执行，遇到失败即停止。\n"
        "退出码：0 成功，1 失败，2 参数错误，3 初始化未加 --yes 确认，\n"
        "        4 数据库没有初始化或没有初始化完毕（--check），可以初始化，\n"
        "        5 数据库没有初始化完毕，但其中有管理员的数据（--check），请备份后再初始化。");
}

int runCommandLine(const QStringList& arguments)
{
    const CommandLine cl = parseCommandLine(arguments);
    if (!cl.error.isEmpty()) {
        printError(cl.error);
        printError(usageText());
        return ExitUsage;
    }
    if (cl.help || arguments.isEmpty()) {
        print(usageText());
        return ExitOk;
    }
    return run(cl);
}

} // namespace lt::prov
