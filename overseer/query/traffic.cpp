#include "overseer/query/traffic.h"

#include "common/odbc.h"
#include "overseer/query/statistics.h"

namespace lt::overseer
{

namespace
{

QString q(const QString& value)
{
    return db::sqlEscape(value);
}

qint64 total(const QList<qint64>& counters, int fromHour, int toHour)
{
    qint64 sum = 0;
    for (int h = fromHour; h <= toHour && h < counters.size(); ++h)
        sum += counters[h];
    return sum;
}

} // namespace

QString counterDate(const QDate& day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

QString hoursSum(int fromHour, int toHour)
{
    QStringList terms;
    for (int h = std::max(fromHour, 0); h <= std::min(toHour, 23); ++h)
        terms << QStringLiteral("IFNULL(t%1,0)").arg(h);
    return terms.isEmpty() ? QStringLiteral("0") : terms.join(u'+');
}

QString connectionsSql(const QString& table, const QString& address)
{
    return QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" where srcip='") +
           q(address) + u'\'';
}

QString hourCounterSql(const QString& table, const QString& address, const QDate& day, int hour)
{
    return QStringLiteral("SELECT SUM(%1) FROM %2 WHERE Trim(srcip)='%3' AND Trim(date)='%4'")
        .arg(hoursSum(hour, hour), table, q(address), counterDate(day));
}

QString dayByHourSql(const QString& table, const QString& address, const QDate& day)
{
    QStringList sums;
    for (int h = 0; h < 24; ++h)
        sums << QStringLiteral("SUM(%1)").arg(hoursSum(h, h));
    return QStringLiteral("SELECT %1 FROM %2 WHERE Trim(srcip)='%3' AND Trim(date)='%4'")
        .arg(sums.join(u','), table, q(address), counterDate(day));
}

QString weekByDaySql(const QString& table, const QString& address, const QDate& day)
{
    return QStringLiteral("SELECT Trim(date),SUM(%1) FROM %2 WHERE Trim(srcip)='%3' AND "
                          "Trim(date)>='%4' AND Trim(date)<='%5' GROUP BY Trim(date) ORDER BY "
                          "Trim(date)")
        .arg(hoursSum(0, 23), table, q(address), counterDate(day.addDays(-6)), counterDate(day));
}

QString terminalsSpanSql(const QString& table, const QDate& day, int fromHour, int toHour)
{
    return QStringLiteral("SELECT Trim(srcip),SUM(%1) FROM %2 WHERE Trim(date)='%3' GROUP BY "
                          "Trim(srcip)")
        .arg(hoursSum(fromHour, toHour), table, counterDate(day));
}

QString terminalsWeekSql(const QString& table, const QDate& day)
{
    return QStringLiteral("SELECT Trim(srcip),SUM(%1) FROM %2 WHERE Trim(date)>='%3' AND "
                          "Trim(date)<='%4' GROUP BY Trim(srcip)")
        .arg(hoursSum(0, 23), table, counterDate(day.addDays(-6)), counterDate(day));
}

QString kiloText(qint64 bytes)
{
    return trafficText(QString::number(std::max<qint64>(bytes, 0)), false);
}

QString protocolOf(int port)
{
    switch (port) {
    case 80:
    case 8080:
        return QStringLiteral("HTTP");
    case 443:
        return QStringLiteral("HTTPS");
    case 21:
        return QStringLiteral("FTP");
    case 25:
        return QStringLiteral("SMTP");
    case 110:
        return QStringLiteral("POP3");
    default:
        return QStringLiteral("TCP");
    }
}

QStringList connectionListRow(const ConnectionRow& row, const QDate& today, int hour)
{
    int last = -1; // the last hour with traffic
    for (int h = 23; h >= 0 && last < 0; --h) {
        if (row.sent.value(h) > 0 || row.received.value(h) > 0)
            last = h;
    }
    const QString time =
        last < 0 ? row.date : row.date + QStringLiteral(" %1时").arg(last, 2, 10, QChar(u'0'));
    const qint64 bytes = total(row.sent, 0, 23) + total(row.received, 0, 23);
    const bool active = row.date == counterDate(today) && last == hour;
    const QString state = active ? QStringLiteral("活动") : QStringLiteral("结束");
    const QString ports = QStringLiteral("%1→%2").arg(row.srcport).arg(row.dstport);
    const QString note =
        QStringLiteral("服务器 %1，发送 %2 K，接收 %3 K")
            .arg(row.dstip, kiloText(total(row.sent, 0, 23)), kiloText(total(row.received, 0, 23)));
    return {time, kiloText(bytes), state, ports, protocolOf(row.dstport), row.strurl, note};
}

} // namespace lt::overseer
