#include "overseer/admin/adminrules.h"

#include "common/gbk.h"
#include "common/odbc.h"

namespace lt::overseer::admin
{

namespace
{

QString q(const QString& value)
{
    return db::sqlEscape(value);
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// What a number box of the original system accepted as a number: blanks around it, a sign, a
// decimal point, an exponent.
bool readsAsNumber(const QString& text, double* value)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        if (!isAsciiDigit(c) && !QStringLiteral("+-.eE").contains(c))
            return false;
    }
    bool ok = false;
    *value = s.toDouble(&ok);
    return ok;
}

// "Team='x' AND BINARY Team='x'": the rows of that exact name (letter case and accents count,
// as they do where the console compares names itself), still found through an index on the
// column, which a comparison of BINARY alone would not use (the log and the recent visits are
// large). Trailing blanks count as little as the column's own comparison lets them.
QString exactlyUntrimmed(const QString& column, const QString& value,
                         const QString& equals = QStringLiteral("="))
{
    return QStringLiteral("%1%2'%3' AND BINARY %1='%3'").arg(column, equals, q(value));
}

QString countWhere(const QString& table, const QString& column, const QString& value,
                   sql::Match match, const QString& extra = {})
{
    const QString condition =
        match == sql::Match::Exact
            ? QStringLiteral("BINARY Trim(%1)='%2'").arg(column, q(value))
            : QStringLiteral("LOWER(Trim(%1))=LOWER('%2')").arg(column, q(value));
    return QStringLiteral("SELECT count(*) FROM %1 WHERE %2%3").arg(table, condition, extra);
}

} // namespace

bool tooLong(const QString& name, int limitBytes)
{
    return gbk::byteWidth(name) > limitBytes;
}

QString refusedCharacterMessage(const QString& field, const QString& text)
{
    QString character;
    for (const QChar c : text) {
        if (c == u'"')
            character = QStringLiteral("双引号（\"）");
        else if (c == u'\r' || c == u'\n')
            character = QStringLiteral("换行符");
        else if (c == u'\t')
            character = QStringLiteral("制表符");
        else if (c.category() == QChar::Other_Control)
            character =
                QStringLiteral("控制字符（U+%1）")
                    .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'));
        if (!character.isEmpty())
            return field + QStringLiteral("不能含有") + character +
                   QStringLiteral("：导出的配置文件无法原样保存这个字符。");
    }
    return {};
}

QString logModeLabel(const QString& code)
{
    if (code == QLatin1String("0"))
        return QStringLiteral("全记");
    if (code == QLatin1String("1"))
        return QStringLiteral("半记");
    if (code == QLatin1String("2"))
        return QStringLiteral("不记");
    return {};
}

QString logModeCode(const QString& label)
{
    if (label == QStringLiteral("全记"))
        return QStringLiteral("0");
    if (label == QStringLiteral("半记"))
        return QStringLiteral("1");
    if (label == QStringLiteral("不记"))
        return QStringLiteral("2");
    return {};
}

QStringList accessModeLabels()
{
    return {QStringLiteral("全记"), QStringLiteral("半记"), QStringLiteral("不记")};
}

QStringList uploadModeLabels()
{
    return {QStringLiteral("全记"), QStringLiteral("不记")};
}

OctetEdit octetRule(const QString& text, bool lastBox)
{
    OctetEdit edit;
    double value = 0;
    if (!readsAsNumber(text, &value) || value > 255) {
        edit.changed = !text.isEmpty();
        return edit;
    }
    edit.text = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isAsciiDigit(text[i])) {
            edit.text.remove(i, 1);
            edit.changed = true;
            edit.beep = true;
            return edit;
        }
    }
    edit.advance = !lastBox && text.size() >= kOctetChars;
    return edit;
}

SiteEdit siteRule(const QString& text)
{
    SiteEdit edit;
    edit.text = text;
    static const QStringList refused = {QStringLiteral("http:"), QStringLiteral("www."),
                                        QStringLiteral("//")};
    static const QStringList dropped = {QStringLiteral("/"), QStringLiteral("\\\\"),
                                        QStringLiteral("\\"), QStringLiteral("'")};
    if (refused.contains(text)) {
        edit.message = QStringLiteral("不需要 ") + text;
        edit.text.clear();
    } else if (dropped.contains(text)) {
        edit.text.clear();
    } else if (text.endsWith(QLatin1Char('\'')) || text.endsWith(QLatin1Char('\\'))) {
        edit.text.chop(1);
        edit.caretToEnd = true;
    }
    edit.changed = edit.text != text;
    return edit;
}

QStringList hourCaptions()
{
    QStringList captions;
    for (int h = 1; h <= kHours; ++h)
        captions << QStringLiteral("%1-%2")
                        .arg(h % 24, 2, 10, QLatin1Char('0'))
                        .arg((h + 1) % 24, 2, 10, QLatin1Char('0'));
    return captions;
}

QStringList classTabCaptions()
{
    return {QStringLiteral("上网"),   QStringLiteral("反动"),     QStringLiteral("邪教"),
            QStringLiteral("色情"),   QStringLiteral("成人话题"), QStringLiteral("成人用品"),
            QStringLiteral("同性恋"), QStringLiteral("恋爱交友"), QStringLiteral("聊天"),
            QStringLiteral("游戏"),   QStringLiteral("证券"),     QStringLiteral("其它")};
}

QStringList policyColumns()
{
    QStringList columns;
    for (char c = 'A'; c <= 'L'; ++c)
        columns << QString(QLatin1Char(c));
    return columns;
}

QString quickMask(QuickSelect select)
{
    switch (select) {
    case QuickSelect::All:
        return QString(kHours, QLatin1Char('1'));
    case QuickSelect::Half:
        return QString(7, QLatin1Char('0')) + QString(12, QLatin1Char('1')) +
               QString(5, QLatin1Char('0'));
    case QuickSelect::None:
        break;
    }
    return kEmptyMask;
}

bool hourOn(const QString& mask, int j)
{
    return j >= 1 && j <= mask.size() && mask[j - 1] == QLatin1Char('1');
}

QString setHour(QString mask, int j, bool on)
{
    if (mask.size() < kHours)
        mask = mask.leftJustified(kHours, QLatin1Char('0'));
    if (j >= 1 && j <= kHours)
        mask[j - 1] = on ? QLatin1Char('1') : QLatin1Char('0');
    return mask;
}

namespace sql
{

QString terminals()
{
    return QStringLiteral("SELECT * FROM usertable ORDER BY NAME");
}

QString groups()
{
    return QStringLiteral("SELECT * FROM grouptable ORDER BY TEAM");
}

QString blackList()
{
    return QStringLiteral("SELECT * FROM blacktable WHERE S='S' ORDER BY Name ");
}

QString whiteList()
{
    return QStringLiteral("SELECT Name,Title,SF FROM whitetable WHERE S='S' ORDER BY Name ");
}

QString recentVisits()
{
    return QStringLiteral("SELECT * FROM webtable ORDER BY AcTime DESC");
}

QString groupNames()
{
    return QStringLiteral("SELECT Team FROM grouptable");
}

QString classes()
{
    return QStringLiteral("SELECT * FROM classtable");
}

QString insertTerminal(const QString& name, const QString& address, const QString& group)
{
    return QStringLiteral("INSERT INTO usertable VALUES('%1','%2','%3')")
        .arg(q(name), q(address), q(group));
}

QString insertGroup(const QString& name, const QString& accessCode, const QString& uploadCode)
{
    QString masks;
    for (int i = 0; i < kClasses; ++i)
        masks += (i ? QStringLiteral(",'") : QStringLiteral("'")) + kEmptyMask + u'\'';
    return QStringLiteral("INSERT INTO grouptable VALUES( '%1','%2','%3',%4)")
        .arg(q(name), q(accessCode), q(uploadCode), masks);
}

QString renameTerminal(const QString& name, const QString& address)
{
    return QStringLiteral("UPDATE usertable SET Name='%1' WHERE Trim(IP)='%2'")
        .arg(q(name), q(address));
}

QString renameTerminalInLog(const QString& name, const QString& address)
{
    return QStringLiteral("UPDATE logtable SET Name='%1' WHERE IP='%2'").arg(q(name), q(address));
}

QString renameTerminalInUploads(const QString& name, const QString& address)
{
    return QStringLiteral("UPDATE upsendtable SET Name='%1' WHERE IP='%2'")
        .arg(q(name), q(address));
}

QString renameGroup(const QString& name, const QString& old)
{
    return QStringLiteral("UPDATE grouptable SET Team='%1' WHERE BINARY Trim(Team)='%2'")
        .arg(q(name), q(old));
}

QString renameGroupMembers(const QString& name, const QString& old)
{
    return QStringLiteral("UPDATE usertable SET Team='%1' WHERE BINARY Trim(Team)='%2'")
        .arg(q(name), q(old));
}

QString renameGroupInLog(const QString& name, const QString& old)
{
    return QStringLiteral("UPDATE logtable SET Team='%1' WHERE %2")
        .arg(q(name), exactlyUntrimmed(QStringLiteral("Team"), old));
}

QString assignGroup(const QString& group, const QString& address)
{
    return QStringLiteral("UPDATE usertable SET Team='%1' WHERE Trim(IP)='%2'")
        .arg(q(group), q(address));
}

QString deleteTerminal(const QString& address)
{
    return QStringLiteral("DELETE FROM usertable WHERE Trim(IP) ='%1'").arg(q(address));
}

QString moveMembersToBuiltIn(const QString& group)
{
    return QStringLiteral("UPDATE usertable Set Team='%1' WHERE BINARY Trim(Team) ='%2'")
        .arg(kBuiltInGroup, q(group));
}

QString deleteGroup(const QString& group)
{
    return QStringLiteral("DELETE FROM grouptable WHERE BINARY Trim(Team) ='%1'").arg(q(group));
}

QString terminalNameCount(const QString& name, Match match)
{
    return countWhere(QStringLiteral("usertable"), QStringLiteral("Name"), name, match);
}

QString terminalAddressCount(const QString& address)
{
    return countWhere(QStringLiteral("usertable"), QStringLiteral("IP"), address, Match::Exact);
}

QString groupNameCount(const QString& name, Match match)
{
    return countWhere(QStringLiteral("grouptable"), QStringLiteral("Team"), name, match);
}

QString entryCount(const QString& table, const QString& name, Match match)
{
    return countWhere(table, QStringLiteral("Name"), name, match, QStringLiteral(" AND S='S'"));
}

QString policyOf(const QString& group)
{
    return QStringLiteral("SELECT * FROM grouptable WHERE BINARY Trim(Team) ='%1'").arg(q(group));
}

QString writePolicy(const QString& group, const QList<ColumnMask>& masks, const QString& accessCode,
                    const QString& uploadCode)
{
    QStringList sets;
    for (const ColumnMask& m : masks) {
        if (!m.column.isEmpty())
            sets << QStringLiteral("%1='%2'").arg(m.column, q(m.mask));
    }
    sets << QStringLiteral("DnLog='%1'").arg(q(accessCode))
         << QStringLiteral("UpLog='%1'").arg(q(uploadCode));
    return QStringLiteral("UPDATE grouptable SET %1  WHERE BINARY Trim(Team)='%2'")
        .arg(sets.join(u','), q(group));
}

QString deleteBlack(const QString& site)
{
    return QStringLiteral("DELETE FROM blacktable WHERE BINARY Trim(Name)='%1'").arg(q(site));
}

QString deleteWhite(const QString& site)
{
    return QStringLiteral("DELETE FROM whitetable WHERE BINARY Trim(Name)='%1'").arg(q(site));
}

QString insertBlack(const QString& site, const QString& title, const QString& className)
{
    return QStringLiteral("INSERT INTO blacktable VALUES('%1','%2','%3','S')")
        .arg(q(site), q(title), q(className));
}

QString insertWhite(const QString& site, const QString& title, const QString& flag)
{
    return QStringLiteral("INSERT INTO whitetable VALUES('%1','%2','S','%3')")
        .arg(q(site), q(title), q(flag));
}

QString renameEntry(const QString& table, const QString& name, const QString& old)
{
    return QStringLiteral("UPDATE %1 SET Name='%2' WHERE %3")
        .arg(table, q(name), exactlyUntrimmed(QStringLiteral("Name"), old));
}

QString deleteVisit(const QString& url)
{
    return QStringLiteral("DELETE FROM webtable WHERE %1")
        .arg(exactlyUntrimmed(QStringLiteral("URL"), url, QStringLiteral(" = ")));
}

} // namespace sql

QStringList putOnBlackList(const QString& site, const QString& title, const QString& className,
                           bool whiteFirst)
{
    QStringList out = {sql::deleteBlack(site), sql::deleteWhite(site)};
    if (whiteFirst)
        std::swap(out[0], out[1]);
    return out << sql::insertBlack(site, title, className);
}

QStringList putOnWhiteList(const QString& site, const QString& title, bool logged)
{
    return {sql::deleteBlack(site), sql::deleteWhite(site),
            sql::insertWhite(site, title, logged ? QStringLiteral("Y") : QStringLiteral("N"))};
}

} // namespace lt::overseer::admin
