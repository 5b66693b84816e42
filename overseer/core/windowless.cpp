#include "overseer/core/windowless.h"

#include "common/clock.h"

namespace lt::overseer
{

void printLine(FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

int usageError(const QString& why)
{
    printLine(stderr, why);
    printLine(stderr, QStringLiteral("用 overseer --help 查看用法。"));
    return kExitUsage;
}

QString rangeError(const QString& from, const QString& to)
{
    if (!parseAcTime(from) || !parseAcTime(to))
        return QStringLiteral("--from 和 --to 需要 \"YY-MM-DD HH:MM:SS\" 格式的时间");
    if (from > to)
        return QStringLiteral("起始时间晚于截至时间");
    return {};
}

} // namespace lt::overseer
