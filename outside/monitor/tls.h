#pragma once
// The server name a TLS client asks for (the server_name extension of its ClientHello), read
// from the first bytes the client sent. The ClientHello may come in several TCP segments and
// even in several TLS records; the caller collects the bytes until the answer is known.

#include <cstddef>
#include <cstdint>
#include <string>

namespace lt::monitor
{

enum class HelloResult {
    NeedMore, // the ClientHello is not complete yet
    NotTls,   // the bytes are no TLS handshake
    Found,    // a ClientHello; name holds its server name, empty when it names none
};

// Whether bytes begin like a TLS handshake record: 1 yes, 0 no, -1 too few bytes.
int looksLikeTls(const uint8_t* data, size_t length);

// name: the host name in lower case without a trailing dot; only host name characters are
// taken (anything else gives an empty name).
HelloResult readClientHello(const uint8_t* data, size_t length, std::string& name);

// The most a ClientHello is waited for: one record of the largest size and its header, twice.
constexpr size_t kMaxHelloBytes = 2 * (5 + 16384 + 2048);

} // namespace lt::monitor
