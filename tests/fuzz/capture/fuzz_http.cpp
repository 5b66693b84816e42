// Bytes as an HTTP request stream and as a response stream, handed over in pieces with gaps
// between some, and the bodies read for titles and uploads. Beyond not crashing: a body kept
// never exceeds what was asked, nor the bytes counted for it.

#include "outside/monitor/content.h"
#include "outside/monitor/http.h"
#include "tests/fuzz/fuzzsupport.h"

using namespace lt::monitor;

namespace
{

constexpr size_t kKeep = 512;

void check(const HttpMessage& m)
{
    FUZZ_CHECK(m.body.size() <= kKeep);
    FUZZ_CHECK(m.body.size() <= m.bodyBytes);
    FUZZ_CHECK(m.bodyBytes <= m.wireBytes);
}

void feed(bool requests, const uint8_t* data, size_t size, uint8_t pattern)
{
    bool head = false;
    HttpStream::Handlers h;
    h.keepBody = [](const HttpMessage&) { return kKeep; };
    h.answersHead = [&head] { return head = !head; };
    h.message = [requests](HttpMessage&& m) {
        check(m);
        if (requests) {
            (void)uploadText(m);
        } else {
            const std::string html = decodeContent(m.body, m.contentEncoding, 4096);
            (void)pageTitle(html, charsetParameter(m.contentType));
        }
    };
    HttpStream stream(requests, h);
    size_t pos = 0;
    for (int i = 0; pos < size; ++i) {
        const size_t piece =
            std::min<size_t>(size - pos, 1 + ((pattern >> (i % 8)) & 1) * 13 + i % 5);
        if ((pattern & 0x80) && i % 7 == 3)
            stream.gap(piece);
        else
            stream.data(data + pos, piece);
        pos += piece;
    }
    stream.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    feed(true, data + 1, size - 1, data[0]);
    feed(false, data + 1, size - 1, data[0]);
    return 0;
}
