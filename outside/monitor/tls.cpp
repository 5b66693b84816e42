#include "outside/monitor/tls.h"

#include <string_view>

namespace lt::monitor
{

namespace
{

constexpr uint8_t kHandshake = 22;
constexpr uint8_t kClientHello = 1;
constexpr uint16_t kServerName = 0;
constexpr size_t kMaxRecord = 16384 + 2048;

// Reads big-endian numbers from a bounded span; a read past its end sets failed.
struct Reader {
    const uint8_t* p;
    size_t left;
    bool failed = false;
    uint32_t number(int bytes)
    {
        if (left < size_t(bytes)) {
            failed = true;
            left = 0;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | p[i];
        p += bytes;
        left -= size_t(bytes);
        return v;
    }
    Reader sub(size_t length)
    {
        if (left < length) {
            failed = true;
            left = 0;
            return {p, 0, true};
        }
        Reader r{p, length};
        p += length;
        left -= length;
        return r;
    }
};

bool hostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

std::string serverName(Reader extensions)
{
    while (extensions.left >= 4 && !extensions.failed) {
        const uint32_t type = extensions.number(2);
        Reader ext = extensions.sub(extensions.number(2));
        if (extensions.failed || type != kServerName)
            continue;
        Reader list = ext.sub(ext.number(2));
        while (list.left >= 3 && !list.failed) {
            const uint32_t nameType = list.number(1);
            Reader host = list.sub(list.number(2));
            if (list.failed || nameType != 0)
                continue;
            std::string name;
            for (size_t i = 0; i < host.left; ++i) {
                char c = char(host.p[i]);
                if (c >= 'A' && c <= 'Z')
                    c = char(c + 32);
                if (!hostChar(c))
                    return {};
                name += c;
            }
            while (!name.empty() && name.back() == '.')
                name.pop_back();
            return name;
        }
    }
    return {};
}

} // namespace

int looksLikeTls(const uint8_t* data, size_t length)
{
    if (length == 0)
        return -1;
    if (data[0] != kHandshake)
        return 0;
    if (length < 3)
        return -1;
    return data[1] == 3 && data[2] <= 4 ? 1 : 0;
}

HelloResult readClientHello(const uint8_t* data, size_t length, std::string& name)
{
    name.clear();
    // The handshake message, gathered from the records that carry it.
    std::string message;
    size_t pos = 0;
    uint32_t wanted = 0;
    bool haveLength = false;
    while (!haveLength || message.size() < wanted + 4) {
        if (length - pos < 5)
            return pos == 0 && length > 0 && looksLikeTls(data, length) == 0
                       ? HelloResult::NotTls
                       : HelloResult::NeedMore;
        if (data[pos] != kHandshake || data[pos + 1] != 3)
            return HelloResult::NotTls;
        const size_t recordLength = size_t(data[pos + 3]) << 8 | data[pos + 4];
        if (recordLength == 0 || recordLength > kMaxRecord)
            return HelloResult::NotTls;
        if (length - pos - 5 < recordLength)
            return HelloResult::NeedMore;
        message.append(reinterpret_cast<const char*>(data + pos + 5), recordLength);
        pos += 5 + recordLength;
        if (!haveLength && message.size() >= 4) {
            if (uint8_t(message[0]) != kClientHello)
                return HelloResult::NotTls;
            wanted = uint32_t(uint8_t(message[1])) << 16 | uint32_t(uint8_t(message[2])) << 8 |
                     uint8_t(message[3]);
            if (wanted + 4 > kMaxHelloBytes)
                return HelloResult::NotTls;
            haveLength = true;
        }
    }
    Reader hello{reinterpret_cast<const uint8_t*>(message.data()) + 4, wanted};
    hello.number(2);            // client version
    hello.sub(32);              // random
    hello.sub(hello.number(1)); // session id
    hello.sub(hello.number(2)); // cipher suites
    hello.sub(hello.number(1)); // compression methods
    if (hello.failed)
        return HelloResult::NotTls;
    if (hello.left < 2)
        return HelloResult::Found; // no extensions at all
    const Reader extensions = hello.sub(hello.number(2));
    if (hello.failed)
        return HelloResult::NotTls;
    name = serverName(extensions);
    return HelloResult::Found;
}

} // namespace lt::monitor
