#pragma once
// The visit and traffic statistics without widgets: the statement of each statistics mode, the
// figures as the list shows them (fixed-width texts that sort as numbers), and the row texts
// built from the rows the server sends.
//
// Modes (CondResult of the statistics dialog): "0" the pages one terminal visited, "1" all
// pages, "2" all terminals, "3" the traffic of each registered terminal. The visit statistics
// are one grouped statement each, ordered by the visit count; the traffic is one grouped
// statement over the log joined here with the terminal register, which lives in the other
// database (possibly on another server).

#include "common/logsummary.h"
#include "overseer/core/pagemodel.h"
#include "overseer/query/logquery.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace lt::overseer
{

enum class StatsMode { Terminal = 0, AllPages = 1, AllTerminals = 2, Traffic = 3 };
// The mode of a CondResult text; nullopt for any other text.
std::optional<StatsMode> statsMode(const QString& condResult);

// The visit statistics page by 5000 rows.
constexpr int kStatsPageSize = 5000;

// The grouped statement of a visit statistics mode (0, 1 or 2), values quoted; empty for mode 3.
QString visitStatsSql(StatsMode mode, const LogQueryState& state);
// The same statistics from the day sums of the `covered` days, the hour sums of the covered
// hours of the days the range starts or ends inside, and the log rows of the rest of the range
// (the same groups and sums); the statement over the log alone when nothing is covered. Mode 0
// reads one terminal's rows through the address index.
QString visitStatsSql(StatsMode mode, const LogQueryState& state,
                      const QList<summary::DayCover>& covered);
// The terminal register of the traffic statistics (configuration database).
QString trafficTerminalsSql();
// The bytes of every address in the range, one grouped statement: rows (trimmed IP, sum).
QString trafficSumsSql(const LogQueryState& state);
QString trafficSumsSql(const LogQueryState& state, const QList<summary::DayCover>& covered);
// The statement of one terminal that the traffic statistics used to send per terminal; the
// benchmark compares against it.
QString trafficSumOfTerminalSql(const QString& ip, const LogQueryState& state);
// The delete statement of a statistics row: every log row of that page, in any time range.
QString statsDeleteSql(const QString& url);

// The title strip and the columns of a mode.
QString statsTitle(StatsMode mode, const LogQueryState& state);
ColumnLayout statsLayout(StatsMode mode);
// The view name (CurrentView) of a mode: "显示访问统计" or "显示流量统计".
QString statsViewName(StatsMode mode);

// A visit count as listed: trimmed and filled on the left with blanks to 10 characters.
QString visitCountText(const QString& sum);
// A byte sum as the traffic column shows it: the sum divided by 1024, cut after the second
// digit behind the point (1536 gives "1.5", 1000 gives "0.97"), "0" for an empty sum, filled on
// the left with blanks to 35 characters. Without the fill when padded is false.
QString trafficText(const QString& byteSum, bool padded = true);
// Pages of a result of `rows` rows at `pageSize` rows a page (a partial page counts).
qint64 pageCountOf(qint64 rows, int pageSize);

// A visit statistics row from the fields of the grouped statement (Title,URL,SUM or
// Name,IP,SUM): text, second column, count.
QStringList visitStatsRow(StatsMode mode, const QStringList& fields);

struct TerminalRow {
    QString name;
    QString ip;
};
// The traffic rows in the order of the register: name, address, traffic; a terminal without
// log rows in the range shows "0".
QList<QStringList> trafficRows(const QList<TerminalRow>& terminals,
                               const QHash<QString, QString>& sumsByIp);

} // namespace lt::overseer
