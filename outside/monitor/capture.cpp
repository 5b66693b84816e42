#include "outside/monitor/capture.h"

#include "outside/monitor/engine.h"
#include "outside/monitor/packet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pcap/pcap.h>

namespace lt::monitor
{

namespace
{

struct Dispatch {
    Engine* engine;
    int linkType;
};

void handOverFrame(u_char* user, const pcap_pkthdr* header, const u_char* bytes)
{
    const auto* d = reinterpret_cast<const Dispatch*>(user);
    const int64_t time = int64_t(header->ts.tv_sec) * 1000000 + header->ts.tv_usec;
    d->engine->frame(d->linkType, bytes, header->caplen, header->len, time);
}

QString detail(const char* text)
{
    return text && *text ? QStringLiteral("（%1）").arg(QString::fromLocal8Bit(text)) : QString();
}

} // namespace

Capture::~Capture()
{
    close();
}

void Capture::close()
{
    if (handle_)
        pcap_close(handle_);
    handle_ = nullptr;
}

void Capture::fail(const QString& what, int code, const char* text)
{
    problem_ = Problem::Other;
    if (code == PCAP_ERROR_PERM_DENIED || code == PCAP_ERROR_PROMISC_PERM_DENIED)
        problem_ = Problem::Permission;
    else if (code == PCAP_ERROR_NO_SUCH_DEVICE)
        problem_ = Problem::NoDevice;
    error_ = what + detail(text);
    if (handle_) {
        pcap_close(handle_);
        handle_ = nullptr;
    }
}

bool Capture::openFile(const QString& path)
{
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // A large buffer: libpcap reads the file through stdio, 4 KB a call by default.
    FILE* file = std::fopen(path.toLocal8Bit().constData(), "rb");
    if (file) {
        std::setvbuf(file, nullptr, _IOFBF, kFileBuffer);
        handle_ =
            pcap_fopen_offline_with_tstamp_precision(file, PCAP_TSTAMP_PRECISION_MICRO, errbuf);
        if (!handle_)
            std::fclose(file);
    } else {
        std::snprintf(errbuf, sizeof errbuf, "%s", std::strerror(errno));
    }
    if (!handle_) {
        fail(QStringLiteral("无法读取抓包文件 %1").arg(path), PCAP_ERROR, errbuf);
        return false;
    }
    live_ = false;
    linkType_ = pcap_datalink(handle_);
    if (!linkTypeSupported(linkType_)) {
        fail(QStringLiteral("抓包文件 %1 的链路类型 %2 无法识别").arg(path).arg(linkType_),
             PCAP_ERROR, nullptr);
        return false;
    }
    return true;
}

bool Capture::openLive(const QString& interface)
{
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    handle_ = pcap_create(interface.toLocal8Bit().constData(), errbuf);
    if (!handle_) {
        fail(QStringLiteral("无法打开网卡 %1").arg(interface), PCAP_ERROR, errbuf);
        return false;
    }
    pcap_set_snaplen(handle_, kSnapLength);
    pcap_set_promisc(handle_, 1); // a mirror port carries other machines' traffic
    pcap_set_timeout(handle_, kTimeoutMs);
    pcap_set_buffer_size(handle_, kBufferBytes);
    const int rc = pcap_activate(handle_);
    if (rc < 0) {
        const QString what =
            rc == PCAP_ERROR_PERM_DENIED || rc == PCAP_ERROR_PROMISC_PERM_DENIED
                ? QStringLiteral("没有在网卡 %1 上抓包的权限").arg(interface)
            : rc == PCAP_ERROR_NO_SUCH_DEVICE ? QStringLiteral("网卡 %1 不存在").arg(interface)
            : rc == PCAP_ERROR_IFACE_NOT_UP ? QStringLiteral("网卡 %1 没有启用").arg(interface)
                                            : QStringLiteral("无法在网卡 %1 上抓包").arg(interface);
        fail(what, rc, pcap_geterr(handle_));
        return false;
    }
    live_ = true;
    linkType_ = pcap_datalink(handle_);
    if (!linkTypeSupported(linkType_)) {
        fail(QStringLiteral("网卡 %1 的链路类型 %2 无法识别").arg(interface).arg(linkType_),
             PCAP_ERROR, nullptr);
        return false;
    }
    return true;
}

int Capture::dispatch(Engine& engine, int count)
{
    if (!handle_)
        return -1;
    Dispatch d{&engine, linkType_};
    const int n = pcap_dispatch(handle_, count, handOverFrame, reinterpret_cast<u_char*>(&d));
    if (n == PCAP_ERROR_BREAK)
        return -2;
    if (n < 0) {
        error_ = QStringLiteral("抓包中断") + detail(pcap_geterr(handle_));
        problem_ = Problem::Other;
        return -1;
    }
    if (n == 0 && !live_)
        return -2;
    return n;
}

void Capture::breakLoop()
{
    if (handle_)
        pcap_breakloop(handle_);
}

Capture::Counts Capture::counts() const
{
    Counts c;
    pcap_stat s{};
    if (handle_ && live_ && pcap_stats(handle_, &s) == 0) {
        c.received = s.ps_recv;
        c.dropped = s.ps_drop;
        c.ifDropped = s.ps_ifdrop;
    }
    return c;
}

QString captureRightHint(const QString& executable)
{
    return QStringLiteral("请以 root 身份运行本模块，或执行：setcap cap_net_raw+ep %1")
        .arg(executable);
}

} // namespace lt::monitor
