// LocalPort.txt as the console, the port dialog and the keeper read it. Beyond not crashing: a
// damaged field never comes out as a value, and a plain value read is written back by the port
// dialog's writer (the text and CR LF) and read the same.

#include "common/sharedfiles.h"
#include "tests/fuzz/fuzzsupport.h"

#include "common/gbk.h"

using namespace lt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const LocalPortField field = parseLocalPort(fuzz::bytesOf(data, size));
    FUZZ_CHECK(field.damaged || !field.value.contains(QChar(0xFFFD)));
    const QString& v = field.value;
    if (field.damaged || v.contains(u',') || v.contains(u'"') || v.contains(u'\r') ||
        v.contains(u'\n') || v.startsWith(u' ') || v.startsWith(u'\t'))
        return 0;
    const LocalPortField back = parseLocalPort(gbk::encode(v) + "\r\n");
    FUZZ_CHECK(!back.damaged && back.value == v);
    return 0;
}
