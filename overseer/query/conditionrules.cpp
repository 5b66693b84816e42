#include "overseer/query/conditionrules.h"

#include "common/clock.h"

namespace lt::overseer
{

QString stampOf(const QDate& date, const QTime& time)
{
    return acTime(QDateTime(date, time));
}

void applyLogChoice(const LogConditionChoice& choice, LogQueryState& state)
{
    state.CondStart = choice.start;
    state.CondEnd = choice.end;
    QString code;
    if (choice.byTerminal) {
        code = choice.terminal.isEmpty() ? QStringLiteral("00") : QStringLiteral("10");
        if (!choice.terminal.isEmpty())
            state.CondTermName = choice.terminal;
    } else {
        code = choice.group.isEmpty() ? QStringLiteral("00") : QStringLiteral("01");
        if (!choice.group.isEmpty())
            state.CondTeam = choice.group;
    }
    if (choice.byTitle) {
        code += choice.title.isEmpty() ? QStringLiteral("00") : QStringLiteral("10");
        if (!choice.title.isEmpty())
            state.CondTitle = choice.title;
    } else {
        code += choice.className.isEmpty() ? QStringLiteral("00") : QStringLiteral("01");
        if (!choice.className.isEmpty())
            state.CondClass = choice.className;
    }
    code += choice.result.isEmpty() ? QStringLiteral("0") : QStringLiteral("1");
    if (!choice.result.isEmpty())
        state.CondResult = choice.result;
    state.CondCode = code;
}

void applyUploadChoice(const UploadConditionChoice& choice, LogQueryState& state)
{
    state.CondStart = choice.start;
    state.CondEnd = choice.end;
    QString code = choice.terminal.isEmpty() ? QStringLiteral("00") : QStringLiteral("10");
    if (!choice.terminal.isEmpty())
        state.CondTermName = choice.terminal;
    code += choice.keyword.isEmpty() ? QStringLiteral("00") : QStringLiteral("10");
    if (!choice.keyword.isEmpty())
        state.CondTitle = choice.keyword;
    state.CondCode = code + QStringLiteral("0");
}

QString rangeProblem(const QString& start, const QString& end, const QString& endCaption)
{
    // Time stamps compare as text, exactly as the statements compare them.
    if (start > end)
        return QStringLiteral("起始时间不能晚于") + endCaption + QStringLiteral("！");
    return {};
}

QString terminalStatusText(const LogQueryState& state)
{
    return QStringLiteral("终端：") + state.CondTermName + QStringLiteral("    地址：") +
           state.CondTermIP;
}

QString webPickerHorizonSql(int recentRows)
{
    return QStringLiteral("SELECT AcTime FROM logtable FORCE INDEX (AcTimeIndex) "
                          "ORDER BY AcTime DESC LIMIT %1,1")
        .arg(recentRows - 1);
}

QString webPickerSql(const std::optional<QString>& horizon)
{
    QString sql = QStringLiteral("SELECT MAX(Title) AS Title,URL FROM logtable");
    if (horizon)
        sql += QStringLiteral(" FORCE INDEX (AcTimeIndex) WHERE AcTime>='") +
               db::sqlEscape(*horizon) + QStringLiteral("'");
    return sql +
           QStringLiteral(" GROUP BY URL ORDER BY MAX(AcTime) DESC LIMIT %1").arg(kWebPickerPages);
}

} // namespace lt::overseer
