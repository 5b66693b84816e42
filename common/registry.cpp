#include "common/registry.h"

#include "common/installation.h"
#include "common/seqfile.h"

#include <QFile>
#include <map>
#include <odbcinst.h>
#include <optional>

namespace lt::reg
{

namespace
{

// ---- the ODBC.INI subtree: unixODBC's system odbc.ini ---------------------------------------

const char* const kIniName = "odbc.ini";
const QString kDataSourcesSection = QStringLiteral("ODBC Data Sources");

// The odbc.ini section a key stands for, or no value when the key lies outside the subtree.
std::optional<QString> odbcSection(const QString& keyPath)
{
    const QString prefix = kOdbcIni + u'\\';
    if (!keyPath.startsWith(prefix, Qt::CaseInsensitive))
        return std::nullopt;
    const QString section = keyPath.mid(prefix.size());
    if (section.isEmpty() || section.contains(u'\\'))
        return std::nullopt;
    return section;
}

void systemMode()
{
    SQLSetConfigMode(ODBC_SYSTEM_DSN);
}

bool odbcSectionExists(const QString& section)
{
    if (section.compare(kDataSourcesSection, Qt::CaseInsensitive) == 0)
        return true; // the list of data sources is always there
    systemMode();
    QByteArray buffer(65536, '\0');
    const int n = SQLGetPrivateProfileString(nullptr, nullptr, "", buffer.data(),
                                             int(buffer.size()), kIniName);
    const QByteArray wanted = section.toUtf8();
    for (const QByteArray& name : buffer.left(std::max(n, 0)).split('\0'))
        if (!name.isEmpty() && name.compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// odbc.ini holds the password of a remote server's account: only the installation's owner may
// read it, whatever mode the file was first created with.
void restrictOdbcIni()
{
    const QString path = Installation::systemDir() + u'/' + QLatin1String(kIniName);
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QFile::exists(path)) {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly))
            return;
    }
    QFile::setPermissions(path, ownerOnly);
}

bool odbcWrite(const QString& section, const char* name, const char* value)
{
    restrictOdbcIni(); // before the value is in the file
    systemMode();
    const bool written =
        SQLWritePrivateProfileString(section.toUtf8().constData(), name, value, kIniName);
    restrictOdbcIni(); // in case the file was written anew
    return written;
}

QString odbcRead(const QString& section, const QString& name)
{
    systemMode();
    static const char kMissing[] = "\x01missing\x01";
    QByteArray buffer(4096, '\0');
    const int n =
        SQLGetPrivateProfileString(section.toUtf8().constData(), name.toUtf8().constData(),
                                   kMissing, buffer.data(), int(buffer.size()), kIniName);
    const QByteArray value = buffer.left(std::max(n, 0));
    return value == kMissing ? QString() : QString::fromUtf8(value);
}

// ---- other keys: system/registry.reg --------------------------------------------------------
// A text file in the form of an exported registry:
//   [HKEY_LOCAL_MACHINE\Software\...]
//   "Name"="text"
//   "Count"=dword:0000007b

struct StoredValue {
    Type type = Type::String;
    QString text;
};
using Key = std::map<QString, StoredValue>;               // value name -> value
using Store = std::map<QString, std::pair<QString, Key>>; // lower-case path -> (path, values)

const QString kRootName = QStringLiteral("HKEY_LOCAL_MACHINE\\");

QString storePath()
{
    return Installation::systemDir() + QStringLiteral("/registry.reg");
}

QString unquote(const QString& quoted)
{
    QString out;
    for (qsizetype i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == u'\\' && i + 2 < quoted.size())
            ++i;
        out += quoted[i];
    }
    return out;
}

QString quote(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

Store loadStore()
{
    Store store;
    QFile file(storePath());
    if (!file.open(QIODevice::ReadOnly))
        return store;
    Key* current = nullptr;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            QString path = line.mid(1, line.size() - 2);
            if (path.startsWith(kRootName, Qt::CaseInsensitive))
                path = path.mid(kRootName.size());
            current = &store[path.toLower()].second;
            store[path.toLower()].first = path;
            continue;
        }
        const qsizetype eq = line.indexOf(QStringLiteral("\"="));
        if (!current || !line.startsWith(u'"') || eq < 0)
            continue;
        const QString name = unquote(line.left(eq + 1));
        const QString value = line.mid(eq + 2);
        if (value.startsWith(QStringLiteral("dword:")))
            (*current)[name] = {Type::Number, QString::number(value.mid(6).toUInt(nullptr, 16))};
        else
            (*current)[name] = {Type::String, unquote(value)};
    }
    return store;
}

bool saveStore(const Store& store)
{
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\n");
    for (const auto& [lower, entry] : store) {
        text += QStringLiteral("\n[%1%2]\n").arg(kRootName, entry.first);
        for (const auto& [name, value] : entry.second) {
            const QString shown =
                value.type == Type::Number
                    ? QStringLiteral("dword:%1").arg(value.text.toUInt(), 8, 16, QLatin1Char('0'))
                    : quote(value.text);
            text += quote(name) + u'=' + shown + u'\n';
        }
    }
    return replaceFile(storePath(), text.toUtf8());
}

} // namespace

bool keyExists(const QString& keyPath)
{
    if (const auto section = odbcSection(keyPath))
        return odbcSectionExists(*section);
    return loadStore().count(keyPath.toLower()) > 0;
}

bool createKey(const QString& keyPath)
{
    if (const auto section = odbcSection(keyPath)) {
        if (odbcSectionExists(*section) &&
            section->compare(kDataSourcesSection, Qt::CaseInsensitive) != 0)
            return true;
        // unixODBC creates a section only with a value in it: write one and take it away.
        return odbcWrite(*section, "__key", "1") && odbcWrite(*section, "__key", nullptr);
    }
    Store store = loadStore();
    if (store.count(keyPath.toLower()))
        return true;
    store[keyPath.toLower()] = {keyPath, {}};
    return saveStore(store);
}

bool setValue(const QString& keyPath, const QString& name, const QString& text, Type type)
{
    if (const auto section = odbcSection(keyPath)) {
        if (!odbcSectionExists(*section))
            return false;
        const QString stored = type == Type::Number ? QString::number(text.toUInt()) : text;
        return odbcWrite(*section, name.toUtf8().constData(), stored.toUtf8().constData());
    }
    Store store = loadStore();
    auto it = store.find(keyPath.toLower());
    if (it == store.end())
        return false;
    it->second.second[name] = {type, type == Type::Number ? QString::number(text.toUInt()) : text};
    return saveStore(store);
}

QString readValue(const QString& keyPath, const QString& name)
{
    if (const auto section = odbcSection(keyPath))
        return odbcRead(*section, name);
    const Store store = loadStore();
    const auto it = store.find(keyPath.toLower());
    if (it == store.end())
        return {};
    const auto value = it->second.second.find(name);
    return value == it->second.second.end() ? QString() : value->second.text;
}

} // namespace lt::reg
