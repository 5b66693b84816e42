// The credential file as both logins read it. Beyond not crashing: damaged bytes never reach a
// name or password, and a pair that the file can hold is written by the password dialog's
// writer and read back the same.

#include "common/sharedfiles.h"
#include "tests/fuzz/fuzzsupport.h"

using namespace lt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto stored = parseCredentials(fuzz::bytesOf(data, size));
    if (!stored)
        return 0;
    FUZZ_CHECK(stored->name == stored->name.trimmed());
    FUZZ_CHECK(stored->password == stored->password.trimmed());
    FUZZ_CHECK(!stored->name.contains(QChar(0xFFFD)) && !stored->password.contains(QChar(0xFFFD)));
    if (!credentialFieldProblem(stored->name).ok() ||
        !credentialFieldProblem(stored->password).ok())
        return 0;
    const auto back = parseCredentials(credentialFileBytes(stored->name, stored->password));
    FUZZ_CHECK(back && back->name == stored->name && back->password == stored->password);
    FUZZ_CHECK(credentialsMatch(*back, stored->name, stored->password));
    return 0;
}
