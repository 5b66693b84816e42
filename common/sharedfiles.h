#pragma once
// The two small files the programs share: LocalPort.txt (the capture adapter number, in the
// application directory) and the credential file KVRTMQLP.DLL (the administrator's name and
// password, in the system directory).

#include <QString>
#include <optional>

namespace lt
{

QString localPortPath();      // appDir/LocalPort.txt
QString credentialFilePath(); // systemDir/KVRTMQLP.DLL

// The existing file that path names, its name matched in its directory without regard to case,
// as the system's file names are meant ("app/localport.txt" finds app/LocalPort.txt); the
// exact name wins. Backslashes count as directory separators. Empty when there is none.
// sameName decides which names match (the executables' rule lets ".exe" be left out).
using NameMatch = bool (*)(const QString& name, const QString& wanted);
bool sameNameIgnoringCase(const QString& name, const QString& wanted);
QString resolveFileName(const QString& path, NameMatch sameName = sameNameIgnoringCase);
// resolveFileName(path), or path itself when no file matches (the name to create it under).
QString fileNameOrGiven(const QString& path);

// The first delimited field of LocalPort.txt, as read; damaged when it held bytes that are not
// GBK text (they read as U+FFFD). No value when the file cannot be opened; a file that opens but
// holds nothing gives the empty text.
struct LocalPortField {
    QString value;
    bool damaged = false;
};
std::optional<LocalPortField> readLocalPortField(const QString& path);
LocalPortField parseLocalPort(const QByteArray& bytes); // the same from the file's bytes
// The first field of LocalPort.txt; no value when the file cannot be opened or is damaged (a
// damaged number is no adapter: it is never passed on to the modules).
std::optional<QString> readLocalPort(const QString& path);
// The adapter dialog's writer: the digits alone, the previous content replaced.
bool writeLocalPortDigits(const QString& path, const QString& digits);
// The port dialog's writer: the text and CR LF in place of the previous content.
// Both writers replace the file in one step: on a failure the old file stays as it was.
bool writeLocalPortLine(const QString& path, const QString& text);

struct Credentials {
    QString name;
    QString password;
};

// The first two delimited fields, each trimmed. No value when the file is missing, does not
// hold two fields, or either field holds bytes that are not GBK text (a damaged file).
std::optional<Credentials> readCredentialFile(const QString& path);
std::optional<Credentials> parseCredentials(const QByteArray& bytes); // from the file's bytes
// Exact, case-sensitive; the typed texts are taken as typed.
bool credentialsMatch(const Credentials& stored, const QString& typedName,
                      const QString& typedPassword);

// Why a trimmed name or password cannot be kept in the credential file, which stores it
// unquoted on a line of its own and reads it back with delimited input: a comma ends the field,
// a leading double quote starts a quoted field, a line break ends the line, and a character
// outside GBK would be written as "?". character is the offending one.
struct CredentialFieldProblem {
    enum class Kind { None, Comma, LeadingQuote, LineBreak, NotGbk };
    Kind kind = Kind::None;
    QString character;
    bool ok() const { return kind == Kind::None; }
};
CredentialFieldProblem credentialFieldProblem(const QString& text);

// Replaces the file with two lines, the trimmed name and the trimmed password, each with CR LF,
// in one step: on a failure the old file stays as it was. The file is readable by its owner
// only. Values with a problem above are the caller's to refuse; they are written as given.
bool writeCredentialFile(const QString& path, const QString& name, const QString& password);
// The bytes writeCredentialFile() puts into the file.
QByteArray credentialFileBytes(const QString& name, const QString& password);

} // namespace lt
