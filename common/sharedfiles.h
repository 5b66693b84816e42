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

// The first delimited field of LocalPort.txt; no value when the file cannot be opened.
// A file that opens but holds nothing gives the empty text.
std::optional<QString> readLocalPort(const QString& path);
// The adapter dialog's writer: the digits alone, the previous content replaced.
bool writeLocalPortDigits(const QString& path, const QString& digits);
// The port dialog's writer: the file deleted, then the text and CR LF.
bool writeLocalPortLine(const QString& path, const QString& text);

struct Credentials {
    QString name;
    QString password;
};

// The first two delimited fields, each trimmed. No value when the file is missing or does not
// hold two fields.
std::optional<Credentials> readCredentialFile(const QString& path);
// Exact, case-sensitive; the typed texts are taken as typed.
bool credentialsMatch(const Credentials& stored, const QString& typedName,
                      const QString& typedPassword);
// Replaces the file with two lines, the trimmed name and the trimmed password, each with CR LF.
// The file is readable by its owner only.
bool writeCredentialFile(const QString& path, const QString& name, const QString& password);

} // namespace lt
