#include "common/sharedfiles.h"

#include "common/gbk.h"
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

QString fileNameOrGiven(const QString& path)
{
    const QString found = resolveFileName(path);
    return found.isEmpty() ? path : found;
}

LocalPortField parseLocalPort(const QByteArray& bytes)
{
    SeqReader reader(bytes);
    LocalPortField field{reader.readField().value_or(QString())};
    field.damaged = reader.lastInvalid();
    return field;
}

std::optional<LocalPortField> readLocalPortField(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseLocalPort(file.readAll());
}

std::optional<QString> readLocalPort(const QString& path)
{
    const auto field = readLocalPortField(path);
    if (!field || field->damaged)
        return std::nullopt;
    return field->value;
}

bool writeLocalPortDigits(const QString& path, const QString& digits)
{
    return replaceFile(path, gbk::encode(digits));
}

bool writeLocalPortLine(const QString& path, const QString& text)
{
    return replaceFile(path, gbk::encode(text) + "\r\n");
}

std::optional<Credentials> parseCredentials(const QByteArray& bytes)
{
    SeqReader reader(bytes);
    const auto name = reader.readField();
    const bool nameDamaged = reader.lastInvalid();
    const auto password = reader.readField();
    if (!name || !password || nameDamaged || reader.lastInvalid())
        return std::nullopt;
    return Credentials{name->trimmed(), password->trimmed()};
}

std::optional<Credentials> readCredentialFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseCredentials(file.readAll());
}

bool credentialsMatch(const Credentials& stored, const QString& typedName,
                      const QString& typedPassword)
{
    return stored.name == typedName && stored.password == typedPassword;
}

CredentialFieldProblem credentialFieldProblem(const QString& text)
{
    using Kind = CredentialFieldProblem::Kind;
    if (text.startsWith(u'"'))
        return {Kind::LeadingQuote, QStringLiteral("\"")};
    for (const QChar c : text) {
        if (c == u',')
            return {Kind::Comma, c};
        if (c == u'\r' || c == u'\n')
            return {Kind::LineBreak, c};
    }
    const qsizetype bad = gbk::unencodableAt(text);
    if (bad >= 0) {
        const qsizetype len = text[bad].isHighSurrogate() && bad + 1 < text.size() ? 2 : 1;
        return {Kind::NotGbk, text.mid(bad, len)};
    }
    return {};
}

bool writeCredentialFile(const QString& path, const QString& name, const QString& password)
{
    return replaceFile(path, credentialFileBytes(name, password),
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QByteArray credentialFileBytes(const QString& name, const QString& password)
{
    return gbk::encode(name.trimmed()) + "\r\n" + gbk::encode(password.trimmed()) + "\r\n";
}

} // namespace lt
