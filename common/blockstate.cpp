#include "common/blockstate.h"

#include "common/installation.h"
#include "common/processes.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace lt::blockstate
{

QString filePath()
{
    return Installation::runDir() + QStringLiteral("/qmlxblock.enforcing");
}

bool markEnforcing()
{
    const qint64 pid = QCoreApplication::applicationPid();
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QByteArray::number(pid) + ' ' + QByteArray::number(proc::processStartTime(pid)) +
               '\n');
    return file.commit();
}

void clearEnforcing()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> words = file.readAll().simplified().split(' ');
    file.close();
    // Only this process's own statement; a later module's is not ours to take back.
    if (!words.isEmpty() && words[0].toLongLong() == QCoreApplication::applicationPid())
        QFile::remove(filePath());
}

bool enforcing()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> words = file.readAll().simplified().split(' ');
    if (words.size() != 2)
        return false;
    const qint64 pid = words[0].toLongLong();
    const qint64 start = words[1].toLongLong();
    return pid > 0 && start != 0 && proc::processStartTime(pid) == start;
}

} // namespace lt::blockstate
