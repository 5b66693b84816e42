#pragma once
// The registry keys of the system, all under the machine-wide root.
// The subtree "Software\ODBC\ODBC.INI" is unixODBC's system odbc.ini (one section per key below
// it); every other key lives in system/registry.reg of the installation.

#include <QString>

namespace lt::reg
{

inline const QString kOdbcIni = QStringLiteral("Software\\ODBC\\ODBC.INI");

enum class Type { String = 1, Number = 4 };

// Creates the key when it does not exist; the result is ignored by callers.
bool createKey(const QString& keyPath);
// Stores a value in an existing key; fails (changing nothing) when the key does not exist.
bool setValue(const QString& keyPath, const QString& name, const QString& text,
              Type type = Type::String);
// A string value as stored, a number value as decimal text; the empty text when the key or the
// value is missing.
QString readValue(const QString& keyPath, const QString& name);
bool keyExists(const QString& keyPath);

} // namespace lt::reg
