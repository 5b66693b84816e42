// The window directory's records (run/windows/*.json) as every program reads them when it looks
// for a window by title. Beyond not crashing: only a record whose owner lives is listed (no
// input can name a live owner but this process), the record of an owner that is gone is
// removed by the reader and nothing else is (the text CANARY in the input names a file outside
// the directory, which must survive), and a title registered by this process (the input read
// as UTF-8) is found again exactly as given and is gone once its registration ends.

#include "common/windowdirectory.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

using namespace lt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::useScratchInstallation();
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const QString dir = Installation::runDir() + QStringLiteral("/windows");
    QDir().mkpath(dir);
    const QString canary = Installation::appDir() + QStringLiteral("/canary");
    fuzz::putFile(canary, "alive");
    const QString record = dir + QStringLiteral("/fuzz.json");
    fuzz::putFile(record, QByteArray(bytes).replace("CANARY", QFile::encodeName(canary)));

    const qint64 self = QCoreApplication::applicationPid();
    const QList<win::WindowInfo> live = win::windows();
    for (const win::WindowInfo& w : live)
        FUZZ_CHECK(w.pid == self);
    const QJsonObject parsed = QJsonDocument::fromJson(bytes).object();
    if (!parsed.isEmpty() && live.isEmpty())
        FUZZ_CHECK(!QFile::exists(record)); // a record of an owner that is gone
    for (const char* title : {"Lantrove系统", ""})
        win::findWindow(QString::fromUtf8(title));
    FUZZ_CHECK(QFile::exists(canary));
    QFile::remove(record);

    const QString title = QString::fromUtf8(bytes);
    {
        const win::Registration registration(title, size % 2 == 0);
        const std::optional<win::WindowInfo> found = win::findWindow(title);
        FUZZ_CHECK(found && found->id == registration.id() && found->title == title);
        FUZZ_CHECK(found->pid == self && found->visible == (size % 2 == 0));
    }
    FUZZ_CHECK(!win::findWindow(title));
    return 0;
}
