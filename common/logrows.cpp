// The row layouts and the statements that write them; the writer is in logrowwriter.cpp.

#include "common/logrows.h"

#include "common/odbc.h"

#include <QStringBuilder>
#include <limits>

namespace lt::logrows
{

namespace
{

// Column widths of the tables, in characters.
constexpr int kNameWidth = 16;
constexpr int kIpWidth = 16;
constexpr int kTimeWidth = 17;
constexpr int kTeamWidth = 16;
constexpr int kTitleWidth = 100;
constexpr int kUrlWidth = 150;
constexpr int kClassWidth = 10;
constexpr int kResultWidth = 4;
constexpr int kLengthWidth = 10;
constexpr int kFlagWidth = 1;
constexpr int kDateWidth = 12;

void appendQuoted(QString& out, QStringView value, int width)
{
    out += QLatin1Char('\'');
    out += db::sqlEscape(fitted(value, width));
    out += QLatin1Char('\'');
}

// "('a','b',…" of texts fitted to their widths, the closing parenthesis left to the caller.
QString quotedTexts(std::initializer_list<std::pair<QStringView, int>> texts)
{
    QString out = QStringLiteral("(");
    for (const auto& [text, width] : texts) {
        if (out.size() > 1)
            out += QLatin1Char(',');
        appendQuoted(out, text, width);
    }
    return out;
}

template <typename Row, typename... Up>
QString insertInto(Table table, const Row* begin, const Row* end, Up... up)
{
    if (begin == end)
        return {};
    QString sql = insertHead(table, up...);
    for (const Row* row = begin; row != end; ++row) {
        if (row != begin)
            sql += QLatin1Char(',');
        sql += values(*row, up...);
    }
    return sql;
}

const std::array<qint64, 24>& bytesOf(const TrafficRow& row, bool up)
{
    return up ? row.up : row.down;
}

QString keyTuple(const TrafficKey& key)
{
    return quotedTexts({{key.srcip, kIpWidth},
                        {key.dstip, kIpWidth},
                        {key.date, kDateWidth},
                        {key.strurl, kUrlWidth}}) %
           QLatin1Char(',') % QString::number(key.srcport) % QLatin1Char(',') %
           QString::number(key.dstport) % QLatin1Char(')');
}

} // namespace

QString tableName(Table table)
{
    switch (table) {
    case Table::Log:
        return QStringLiteral("logtable");
    case Table::Upload:
        return QStringLiteral("upsendtable");
    case Table::Visit:
        return QStringLiteral("webtable");
    case Table::Traffic:
    case Table::Count:
        break;
    }
    return QStringLiteral("uptable/downtable");
}

QString insertHead(Table table, bool up)
{
    QString name = tableName(table);
    QString columns;
    switch (table) {
    case Table::Log:
        columns = kLogColumns;
        break;
    case Table::Upload:
        columns = kUploadColumns;
        break;
    case Table::Visit:
        columns = kVisitColumns;
        break;
    case Table::Traffic:
    case Table::Count:
        name = up ? QStringLiteral("uptable") : QStringLiteral("downtable");
        columns = trafficColumns();
        break;
    }
    return QStringLiteral("INSERT INTO ") % name % QLatin1Char('(') % columns %
           QStringLiteral(") VALUES ");
}

QString trafficColumns()
{
    QString columns = QStringLiteral("srcip,dstip,date,strurl,srcport,dstport");
    for (int h = 0; h < 24; ++h)
        columns += QStringLiteral(",t") + QString::number(h);
    return columns;
}

QString fitted(QStringView text, int maxChars)
{
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), qsizetype(maxChars) * 2));
    int chars = 0;
    for (qsizetype i = 0; i < text.size() && chars < maxChars; ++i) {
        const QChar c = text[i];
        if (c.isNull())
            continue;
        out += c;
        // A surrogate pair is one character: its low half rides along.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            out += text[++i];
        ++chars;
    }
    return out;
}

QString values(const LogRow& row)
{
    QString out = quotedTexts({{row.name, kNameWidth},
                               {row.ip, kIpWidth},
                               {row.acTime, kTimeWidth},
                               {row.team, kTeamWidth},
                               {row.title, kTitleWidth},
                               {row.url, kUrlWidth},
                               {row.className, kClassWidth},
                               {row.result, kResultWidth}});
    out += QLatin1Char(',');
    appendQuoted(out, QString::number(std::max<qint64>(row.length, 0)), kLengthWidth);
    out += QLatin1Char(',') % QString::number(row.f) % QLatin1Char(')');
    return out;
}

QString values(const UploadRow& row)
{
    // LONGTEXT: only the NUL characters go.
    return quotedTexts({{row.name, kNameWidth},
                        {row.ip, kIpWidth},
                        {row.url, kUrlWidth},
                        {row.acTime, kTimeWidth},
                        {row.text, std::numeric_limits<int>::max()}}) +
           QLatin1Char(')');
}

QString values(const VisitRow& row)
{
    return quotedTexts({{row.url, kUrlWidth},
                        {row.title, kTitleWidth},
                        {row.className, kClassWidth},
                        {row.acTime, kTimeWidth},
                        {row.sf, kFlagWidth}}) +
           QLatin1Char(')');
}

QString values(const TrafficRow& row, bool up)
{
    QString out = keyTuple(row.key);
    out.chop(1);
    for (qint64 bytes : bytesOf(row, up))
        out += QLatin1Char(',') % QString::number(bytes);
    out += QLatin1Char(')');
    return out;
}

QString insertStatement(const LogRow* begin, const LogRow* end)
{
    return insertInto(Table::Log, begin, end);
}

QString insertStatement(const UploadRow* begin, const UploadRow* end)
{
    return insertInto(Table::Upload, begin, end);
}

QString insertStatement(const VisitRow* begin, const VisitRow* end)
{
    return insertInto(Table::Visit, begin, end);
}

QString insertStatement(const TrafficRow* begin, const TrafficRow* end, bool up)
{
    return insertInto(Table::Traffic, begin, end, up);
}

QString trafficCondition(const TrafficKey& key)
{
    QString out = QStringLiteral("srcip=");
    appendQuoted(out, key.srcip, kIpWidth);
    out += QStringLiteral(" AND dstip=");
    appendQuoted(out, key.dstip, kIpWidth);
    out += QStringLiteral(" AND date=");
    appendQuoted(out, key.date, kDateWidth);
    out += QStringLiteral(" AND strurl=");
    appendQuoted(out, key.strurl, kUrlWidth);
    out += QStringLiteral(" AND srcport=") % QString::number(key.srcport) %
           QStringLiteral(" AND dstport=") % QString::number(key.dstport);
    return out;
}

QString updateStatement(const TrafficRow* begin, const TrafficRow* end, bool up)
{
    QString sets;
    for (int h = 0; h < 24; ++h) {
        QString cases;
        for (const TrafficRow* row = begin; row != end; ++row) {
            if (const qint64 bytes = bytesOf(*row, up)[h]; bytes > 0)
                cases += QStringLiteral(" WHEN ") % trafficCondition(row->key) %
                         QStringLiteral(" THEN ") % QString::number(bytes);
        }
        if (cases.isEmpty())
            continue;
        const QString column = QStringLiteral("t") + QString::number(h);
        if (!sets.isEmpty())
            sets += QLatin1Char(',');
        sets += column % QLatin1Char('=') % column % QStringLiteral("+CASE") % cases %
                QStringLiteral(" ELSE 0 END");
    }
    if (sets.isEmpty())
        return {};
    QString keys;
    for (const TrafficRow* row = begin; row != end; ++row) {
        if (row != begin)
            keys += QLatin1Char(',');
        keys += keyTuple(row->key);
    }
    return QStringLiteral("UPDATE ") %
           (up ? QStringLiteral("uptable") : QStringLiteral("downtable")) %
           QStringLiteral(" SET ") % sets %
           QStringLiteral(" WHERE (srcip,dstip,date,strurl,srcport,dstport) IN (") % keys %
           QLatin1Char(')');
}

} // namespace lt::logrows
