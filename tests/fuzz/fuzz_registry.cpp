// The registry as the programs read it: the input is taken as the key store system/registry.reg
// (parsed by the system itself) and as unixODBC's odbc.ini (parsed by libodbcinst, read
// through the same functions). Nothing is checked beyond not crashing and reading the same
// value twice alike.

#include "common/registry.h"
#include "tests/fuzz/fuzzsupport.h"

using namespace lt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::useScratchInstallation();
    const QByteArray bytes = fuzz::bytesOf(data, size);
    fuzz::putFile(Installation::systemDir() + QStringLiteral("/registry.reg"), bytes);
    fuzz::putFile(Installation::systemDir() + QStringLiteral("/odbc.ini"), bytes);
    fuzz::putFile(Installation::systemDir() + QStringLiteral("/odbcinst.ini"), QByteArray());
    const QString appPaths =
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\yourapp.Exe");
    const QString path = reg::readValue(appPaths, QStringLiteral("Path"));
    FUZZ_CHECK(path == reg::readValue(appPaths, QStringLiteral("Path")));
    reg::keyExists(appPaths);
    for (const char* dsn : {"LocalLogTable", "RemoteAcTable"}) {
        const QString key = reg::kOdbcIni + u'\\' + QLatin1String(dsn);
        reg::keyExists(key);
        for (const char* name : {"Server", "Driver", "Database", "Port", "Socket"})
            reg::readValue(key, QLatin1String(name));
    }
    return 0;
}
