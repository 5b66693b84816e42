#include "common/dbconnect.h"

#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <odbcinst.h>

namespace lt::db
{

namespace
{

// One KEY=value pair of a connection string, with its text as written.
struct Pair {
    QString key;
    QString value; // without surrounding blanks and braces
    QString text;
};

// Splits at semicolons outside braces ("PWD={a;b}" is one pair).
QList<Pair> pairsOf(const QString& s)
{
    QList<Pair> out;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype start = i;
        while (i < s.size() && s[i] != u';' && s[i] != u'=')
            ++i;
        const qsizetype eq = i < s.size() && s[i] == u'=' ? i : -1;
        if (eq >= 0) {
            ++i;
            while (i < s.size() && s[i] == u' ')
                ++i;
            if (i < s.size() && s[i] == u'{') {
                const qsizetype close = s.indexOf(u'}', i);
                i = close < 0 ? s.size() : close + 1;
            }
            while (i < s.size() && s[i] != u';')
                ++i;
        }
        Pair p;
        p.text = s.mid(start, i - start);
        p.key = (eq < 0 ? p.text : s.mid(start, eq - start)).trimmed();
        if (eq >= 0) {
            p.value = s.mid(eq + 1, i - eq - 1).trimmed();
            if (p.value.startsWith(u'{') && p.value.endsWith(u'}'))
                p.value = p.value.mid(1, p.value.size() - 2);
        }
        if (!p.text.trimmed().isEmpty())
            out << p;
        if (i < s.size())
            ++i; // the semicolon
    }
    return out;
}

bool isKey(const Pair& p, const char* key)
{
    return p.key.compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
}

// A value of an ini file of unixODBC; no value when the section or the key is missing.
std::optional<QString> iniValue(const QString& section, const char* key, const char* file)
{
    static const char kMissing[] = "\x01missing\x01";
    UWORD mode = ODBC_BOTH_DSN;
    SQLGetConfigMode(&mode);
    SQLSetConfigMode(ODBC_BOTH_DSN);
    QByteArray buffer(4096, '\0');
    const int n = SQLGetPrivateProfileString(section.toUtf8().constData(), key, kMissing,
                                             buffer.data(), int(buffer.size()), file);
    SQLSetConfigMode(mode);
    const QByteArray value = buffer.left(std::max(n, 0));
    if (value == kMissing)
        return std::nullopt;
    return QString::fromUtf8(value).trimmed();
}

QString libraryProblem(const QString& library, const QString& shownAs)
{
    const QFileInfo file(library);
    if (file.isFile())
        return {};
    return QStringLiteral("driver library '%1'%2 is %3")
        .arg(library, shownAs.isEmpty() ? QString() : QStringLiteral(" (") + shownAs + u')',
             file.exists() ? QStringLiteral("not a file") : QStringLiteral("missing"));
}

} // namespace

std::optional<QString> connectionStringValue(const QString& connectionString, const QString& key)
{
    std::optional<QString> found;
    for (const Pair& p : pairsOf(connectionString))
        if (p.key.compare(key, Qt::CaseInsensitive) == 0)
            found = p.value;
    return found;
}

QString driverConnectionString(const QString& connectionString, const QString& user,
                               const QString& password, const Connection::Timeouts& timeouts)
{
    QStringList kept;
    bool charset = false;
    for (const Pair& p : pairsOf(connectionString)) {
        if ((isKey(p, "UID") || isKey(p, "PWD")) && p.value.isEmpty())
            continue;
        charset = charset || isKey(p, "CHARSET");
        kept << p.text;
    }
    if (!user.isEmpty() || !password.isEmpty())
        kept << QStringLiteral("UID=") + user << QStringLiteral("PWD=") + password;
    if (!charset)
        kept << QStringLiteral("CHARSET=utf8mb4");
    if (timeouts.readSeconds > 0)
        kept << QStringLiteral("READ_TIMEOUT=%1").arg(timeouts.readSeconds);
    if (timeouts.writeSeconds > 0)
        kept << QStringLiteral("WRITE_TIMEOUT=%1").arg(timeouts.writeSeconds);
    return kept.join(u';') + u';';
}

QString driverProblem(const QString& connectionString)
{
    QString named =
        connectionStringValue(connectionString, QStringLiteral("DRIVER")).value_or(QString());
    QString origin;
    if (named.isEmpty()) {
        const QString dsn = connectionStringValue(connectionString, QStringLiteral("DSN"))
                                .value_or(QStringLiteral("DEFAULT"));
        const auto driver =
            iniValue(dsn.isEmpty() ? QStringLiteral("DEFAULT") : dsn, "Driver", "odbc.ini");
        if (!driver || driver->isEmpty())
            return {}; // the driver manager says what is missing
        named = *driver;
        origin = QStringLiteral("data source %1: ").arg(dsn);
    }
    QString problem;
    if (named.contains(u'/')) {
        problem = libraryProblem(named, {});
    } else if (const auto library = iniValue(named, "Driver", "odbcinst.ini");
               library && library->contains(u'/')) {
        // A driver name: the library registered for it in odbcinst.ini.
        problem = libraryProblem(*library, named);
    }
    return problem.isEmpty() ? problem : origin + problem;
}

bool retryable(const Error& error)
{
    return error.native == 1213 || error.native == 1047;
}

int retryDelayMs(int failures)
{
    const int base = 40 << std::min(failures, 6); // 80 ms, 160 ms ... 2.5 s
    return base + int(QRandomGenerator::global()->bounded(base));
}

bool connectionLost(const Error& error)
{
    // A node that is not ready answers 1047 under the connection's SQLSTATE 08S01, but the
    // connection itself is sound.
    if (retryable(error))
        return false;
    switch (error.native) {
    case 2006: // server has gone away
    case 1927: // the server killed the connection; the notice answers the next statement
    case 2013: // lost connection during query (also a read timeout)
    case 2055: // lost connection at reading
    case 5013: // read error
    case 5014: // write error, e.g. "Broken pipe"
        return true;
    default:
        break;
    }
    return error.sqlState == QLatin1String("08S01") ||
           error.message.contains(QLatin1String("Broken pipe")) ||
           error.message.contains(QLatin1String("gone away"));
}

} // namespace lt::db
