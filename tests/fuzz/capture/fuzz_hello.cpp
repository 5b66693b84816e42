// Bytes as the start of a TLS connection. Beyond not crashing: a server name holds host name
// characters only, and a hello that was found stays found, with the same name, when more bytes
// follow it.

#include "outside/monitor/tls.h"
#include "tests/fuzz/fuzzsupport.h"

#include <vector>

using namespace lt::monitor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string name;
    const HelloResult r = readClientHello(data, size, name);
    if (r != HelloResult::Found)
        return 0;
    for (char c : name)
        FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                   c == '_');
    FUZZ_CHECK(name.empty() || name.back() != '.');
    std::vector<uint8_t> longer(data, data + size);
    longer.insert(longer.end(), {0x17, 0x03, 0x03, 0x00, 0x01, 0x00});
    std::string again;
    FUZZ_CHECK(readClientHello(longer.data(), longer.size(), again) == HelloResult::Found);
    FUZZ_CHECK(again == name);
    return 0;
}
