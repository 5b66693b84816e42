// BlackName.dat as the provisioner reads it. Beyond not crashing: no record that reaches the
// database holds NUL or a line break, and every record read is written out again (as the
// export writes it) and read back the same, or refused by the writer.

#include "common/blacklist.h"
#include "tests/fuzz/fuzzsupport.h"

using namespace lt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const blacklist::Contents contents = blacklist::parse(fuzz::bytesOf(data, size));
    FUZZ_CHECK(int(contents.records.size()) <= std::max(contents.declaredCount, 0));
    std::vector<blacklist::Record> expected;
    for (const blacklist::Record& r : contents.records) {
        for (const QString& v : {r.domain, r.title, r.className}) {
            FUZZ_CHECK(!v.contains(QChar(0)));
            FUZZ_CHECK(!v.contains(u'\r') && !v.contains(u'\n'));
            FUZZ_CHECK(!v.contains(QChar(0xFFFD))); // damaged bytes are reported, not passed on
        }
        const blacklist::Record t{r.domain.trimmed(), r.title.trimmed(), r.className.trimmed()};
        if (blacklist::unwritableReason(t.domain).isEmpty() &&
            blacklist::unwritableReason(t.title).isEmpty() &&
            blacklist::unwritableReason(t.className).isEmpty())
            expected.push_back(t);
    }
    QStringList refused;
    const QByteArray again = blacklist::format(contents.records, &refused);
    FUZZ_CHECK(size_t(refused.size()) + expected.size() == contents.records.size());
    const blacklist::Contents back = blacklist::parse(again);
    FUZZ_CHECK(back.problems.isEmpty());
    FUZZ_CHECK(back.records == expected);
    return 0;
}
