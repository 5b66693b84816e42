#pragma once
// libpcap on a network interface or a capture file, handing each frame to the packet path.
// Failures come back in Chinese, with libpcap's own words after them; a missing right to
// capture is told apart, with what to run to grant it.

#include <QString>
#include <cstdint>

struct pcap;

namespace lt::monitor
{

class Engine;

class Capture
{
public:
    enum class Problem { None, Permission, NoDevice, Other };
    // Frames wider than this are cut (titles and uploads sit in the first bytes anyway).
    static constexpr int kSnapLength = 65535;
    static constexpr int kBufferBytes = 64 << 20; // the kernel's ring for bursts
    static constexpr int kTimeoutMs = 200;        // how long a quiet interface is waited on
    static constexpr size_t kFileBuffer = 1 << 20;

    Capture() = default;
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool openFile(const QString& path);
    bool openLive(const QString& interface);
    bool isOpen() const { return handle_ != nullptr; }
    void close();
    int linkType() const { return linkType_; }

    // Hands up to count frames to the engine. The number handed over; 0 when the interface was
    // quiet; -1 on a failure (error()); -2 at the end of the file or after breakLoop().
    int dispatch(Engine& engine, int count);
    // From another thread: dispatch returns as soon as it can.
    void breakLoop();

    struct Counts {
        uint64_t received = 0;
        uint64_t dropped = 0;   // by the kernel: the ring was full
        uint64_t ifDropped = 0; // by the interface
    };
    Counts counts() const; // live captures; zero for a file

    QString error() const { return error_; }
    Problem problem() const { return problem_; }

private:
    void fail(const QString& what, int code, const char* detail);
    pcap* handle_ = nullptr;
    int linkType_ = 0;
    bool live_ = false;
    QString error_;
    Problem problem_ = Problem::None;
};

// What an administrator runs to let the module capture: the setcap line for this executable.
QString captureRightHint(const QString& executable);

} // namespace lt::monitor
