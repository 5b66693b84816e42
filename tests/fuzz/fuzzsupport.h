#pragma once
// What the fuzz targets share: the input as bytes, a scratch installation in a temporary
// directory for the readers that only read files (its app/ and system/ folders, the ODBC ini
// files pointed at it), and a check that aborts, so that the fuzzer keeps the input that broke
// an invariant.

#include "common/installation.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__,           \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace lt::fuzz
{

// Creates the scratch installation once per process and makes it the installation in use.
inline void useScratchInstallation()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    char pattern[] = "/tmp/lt_fuzz_XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        std::abort();
    Installation::useRoot(QString::fromLocal8Bit(root));
    QDir().mkpath(Installation::appDir());
    QDir().mkpath(Installation::systemDir());
    Installation::applyOdbcEnvironment();
}

inline QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The input as the file at path (replacing what was there).
inline void putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

} // namespace lt::fuzz
