#include "common/sharedfiles.h"

#include "common/installation.h"
#include "common/seqfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lt
{

QString localPortPath()
{
    return Installation::appDir() + QStringLiteral("/LocalPort.txt");
}

QString credentialFilePath()
{
    return Installation::systemDir() + QStringLiteral("/KVRTMQLP.DLL");
}

bool sameNameIgnoringCase(const QString& name, const QString& wanted)
{
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

QString resolveFileName(const QString& path, NameMatch sameName)
{
    QString normalized = path;
    normalized.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QFileInfo given(normalized);
    if (given.isFile())
        return given.absoluteFilePath();
    const QDir dir = given.absoluteDir();
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (sameName(name, given.fileName()))
            return dir.absoluteFilePath(name);
    }
    return {};
}

std::optional<QString> readLocalPort(const QString& path)
{
    SeqReader reader;
    if (!reader.open(path))
        return std::nullopt;
    return reader.readField().value_or(QString());
}

bool writeLocalPortDigits(const QString& path, const QString& digits)
{
    SeqWriter writer;
    if (!writer.open(path))
        return false;
    writer.print(digits);
    return writer.close();
}

bool writeLocalPortLine(const QString& path, const QString& text)
{
    // The new file takes the old one's place in one step: a write that fails leaves the old
    // number, never a missing file.
    SeqWriter writer;
    if (!writer.open(path, SeqWriter::Mode::Replace))
        return false;
    writer.printLine(text);
    return writer.close();
}

std::optional<Credentials> readCredentialFile(const QString& path)
{
    SeqReader reader;
    if (!reader.open(path))
        return std::nullopt;
    const auto name = reader.readField();
    const auto password = reader.readField();
    if (!name || !password)
        return std::nullopt;
    return Credentials{name->trimmed(), password->trimmed()};
}

bool credentialsMatch(const Credentials& stored, const QString& typedName,
                      const QString& typedPassword)
{
    return stored.name == typedName && stored.password == typedPassword;
}

bool writeCredentialFile(const QString& path, const QString& name, const QString& password)
{
    // Readable by its owner only, from the first byte on; the new content replaces the old in
    // one step, so a failed write keeps the old name and password.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QFile::exists(path)) {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly) || !created.setPermissions(ownerOnly))
            return false;
    }
    SeqWriter writer;
    if (!writer.open(path, SeqWriter::Mode::Replace))
        return false;
    writer.printLine(name.trimmed());
    writer.printLine(password.trimmed());
    return writer.close();
}

} // namespace lt
