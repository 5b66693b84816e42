#include "outside/blocker/rules.h"

#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <linux/capability.h>
#include <nftables/libnftables.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lt::blocker
{

namespace
{

QString quotedInterface(const QString& name)
{
    // Interface names hold no quote or blank; anything else would not be an interface.
    QString clean = name;
    clean.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.@:-]")));
    return QLatin1Char('"') + clean + QLatin1Char('"');
}

QString element(const QString& lanInterface)
{
    return QStringLiteral("%1 timeout %2s")
        .arg(quotedInterface(lanInterface))
        .arg(kHeartbeatTimeoutSeconds);
}

} // namespace

QString rulesetText(const QString& lanInterface, uint16_t port)
{
    const QString t = QStringLiteral("inet ") + kTableName;
    const QString p = QString::number(port);
    QStringList lines;
    // "add" then "delete" clears a table of that name in the same transaction without failing
    // when there is none.
    lines << QStringLiteral("add table ") + t << QStringLiteral("delete table ") + t;
    lines << QStringLiteral("table %1 {").arg(t);
    lines << QStringLiteral("  set lan { type ifname; flags timeout; }");
    // New connections only: a connection's later packets keep the first one's translation.
    lines << QStringLiteral("  chain prerouting {");
    lines << QStringLiteral("    type nat hook prerouting priority dstnat; policy accept;");
    lines << QStringLiteral("    iifname @lan meta l4proto tcp th dport { 80, 443 } "
                            "fib daddr type != local redirect to :%1")
                 .arg(p);
    lines << QStringLiteral("  }");
    lines << QStringLiteral("  chain forward {");
    lines << QStringLiteral("    type filter hook forward priority filter; policy accept;");
    lines << QStringLiteral("    iifname @lan udp dport 443 drop");
    lines << QStringLiteral("  }");
    // The module's port takes only the connections sent to it, never one opened to it directly.
    lines << QStringLiteral("  chain input {");
    lines << QStringLiteral("    type filter hook input priority filter; policy accept;");
    lines << QStringLiteral("    tcp dport %1 ct status ! dnat drop").arg(p);
    lines << QStringLiteral("  }");
    lines << QStringLiteral("}");
    lines << QStringLiteral("add element %1 lan { %2 }").arg(t, element(lanInterface));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString heartbeatText(const QString& lanInterface)
{
    const QString t = QStringLiteral("inet ") + kTableName;
    return QStringLiteral("flush set %1 lan\nadd element %1 lan { %2 }\n")
        .arg(t, element(lanInterface));
}

std::optional<uint64_t> tableHandle(const QString& listing)
{
    static const QRegularExpression re(QStringLiteral("table inet ") + kTableName +
                                       QStringLiteral(" \\{ # handle (\\d+)"));
    const QRegularExpressionMatch m = re.match(listing);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toULongLong();
}

Nftables::Nftables() : ctx_(nft_ctx_new(NFT_CTX_DEFAULT))
{
    nft_ctx_buffer_output(ctx_);
    nft_ctx_buffer_error(ctx_);
    nft_ctx_output_set_flags(ctx_, NFT_CTX_OUTPUT_HANDLE);
}

Nftables::~Nftables()
{
    nft_ctx_free(ctx_);
}

bool Nftables::run(const QString& commands, QString* output)
{
    errno = 0;
    const int rc = nft_run_cmd_from_buffer(ctx_, commands.toUtf8().constData());
    const int savedErrno = errno;
    if (output)
        *output = QString::fromUtf8(nft_ctx_get_output_buffer(ctx_));
    else
        nft_ctx_get_output_buffer(ctx_); // reading it empties the buffer
    error_ = QString::fromUtf8(nft_ctx_get_error_buffer(ctx_)).trimmed();
    if (rc == 0) {
        error_.clear();
        problem_ = RuleProblem::None;
        return true;
    }
    const bool denied =
        savedErrno == EPERM || error_.contains(QLatin1String("Operation not permitted"));
    problem_ = denied ? RuleProblem::Permission : RuleProblem::Other;
    if (error_.isEmpty())
        error_ = QString::fromLocal8Bit(strerror(savedErrno ? savedErrno : EINVAL));
    return false;
}

void Nftables::removeLeftover()
{
    const QString t = QStringLiteral("inet ") + kTableName;
    run(QStringLiteral("add table %1\ndelete table %1\n").arg(t));
}

std::optional<uint64_t> Nftables::install(const QString& lanInterface, uint16_t port)
{
    if (!run(rulesetText(lanInterface, port)))
        return std::nullopt;
    QString listing;
    if (!run(QStringLiteral("list table inet ") + kTableName, &listing))
        return std::nullopt;
    const std::optional<uint64_t> handle = tableHandle(listing);
    if (!handle) {
        error_ = QStringLiteral("nftables 没有给出表的编号：") + listing.left(200);
        problem_ = RuleProblem::Other;
    }
    return handle;
}

bool Nftables::heartbeat(const QString& lanInterface)
{
    return run(heartbeatText(lanInterface));
}

bool Nftables::remove(uint64_t handle)
{
    return run(QStringLiteral("delete table inet handle %1\n").arg(handle));
}

bool Nftables::exists(uint64_t handle)
{
    QString listing;
    return run(QStringLiteral("list table inet ") + kTableName, &listing) &&
           tableHandle(listing) == handle;
}

bool hasNetAdmin()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[CAP_NET_ADMIN / 32].effective & (1u << (CAP_NET_ADMIN % 32))) != 0;
}

} // namespace lt::blocker
