#pragma once
// The live traffic monitor's statements and figures, without widgets. The capture modules keep
// one row per connection of a terminal in uptable (sent) and downtable (received): the
// terminal's address, the server's, the day ("yyyy-MM-dd"), the site, the ports and 24 hourly
// byte counters t0..t23. The monitor sums these counters: the hour running for one terminal
// (the chart), one terminal's day by hour and its last seven days, and every terminal over a
// span of hours, a day or the last seven days.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace lt::overseer
{

// The day as the counters' date column holds it.
QString counterDate(const QDate& day);
// The counters of hours from..to (0..23) added up, a missing counter as 0.
QString hoursSum(int fromHour, int toHour);

// The connection rows of one terminal, the address quoted.
QString connectionsSql(const QString& table, const QString& address);
// One terminal's counter of one hour of one day, all its connections added.
QString hourCounterSql(const QString& table, const QString& address, const QDate& day, int hour);
// One terminal's day: 24 sums, t0 to t23.
QString dayByHourSql(const QString& table, const QString& address, const QDate& day);
// One terminal's last seven days up to `day`: rows (date, bytes).
QString weekByDaySql(const QString& table, const QString& address, const QDate& day);
// Every terminal over hours from..to of one day, or over the seven days up to `day`: rows
// (address, bytes).
QString terminalsSpanSql(const QString& table, const QDate& day, int fromHour, int toHour);
QString terminalsWeekSql(const QString& table, const QDate& day);

// Bytes as the monitor shows them, in K: the bytes divided by 1024, cut after two decimals.
QString kiloText(qint64 bytes);

// One row of the connection list from an uptable row and the bytes received on the same
// connection (downtable): "时间", "流量（K）", "状态", "端口号", "协议", "URL", "备注".
struct ConnectionRow {
    QString srcip, dstip, date, strurl;
    int srcport = 0, dstport = 0;
    QList<qint64> sent;     // t0..t23 of uptable
    QList<qint64> received; // t0..t23 of downtable (empty when none)
};
QStringList connectionListRow(const ConnectionRow& row, const QDate& today, int hour);
// The protocol of a server port.
QString protocolOf(int port);

} // namespace lt::overseer
