#pragma once
// The rules of the administration of terminals, groups, the group policy and the two site lists,
// without widgets or a database: the statements sent (every value quoted), the name and site
// limits, the typing rules of the address octet boxes and of the site box, the logging-mode
// codes and the hour masks of the policy.

#include <QList>
#include <QString>
#include <QStringList>

namespace lt::overseer::admin
{

// ---- names and limits ---------------------------------------------------------------------

inline const QString kBuiltInGroup = QStringLiteral("临时工作组");
constexpr int kNameBytes = 16;         // terminal and group names, GBK bytes
constexpr int kEntryRenameBytes = 100; // a list entry renamed in place
constexpr int kSiteChars = 150;        // the add-entry dialog's site box
constexpr int kTitleChars = 100;       // and its title box
constexpr int kOctetChars = 3;

// A name longer than the byte limit (a Chinese character counts two).
bool tooLong(const QString& name, int limitBytes);

// Why a name, site or title typed into the administration cannot be kept as typed: the
// configuration file the console exports reads a double quote back as a single one and cannot
// hold a control character (a line break becomes a blank). The message names the field
// ("终端名称", "标题" ...) and the character; empty when the text is kept as typed.
QString refusedCharacterMessage(const QString& field, const QString& text);

// ---- logging modes ------------------------------------------------------------------------

// "0" "全记", "1" "半记", "2" "不记"; any other code gives the empty text.
QString logModeLabel(const QString& code);
// The reverse; an unknown label gives the empty text.
QString logModeCode(const QString& label);
QStringList accessModeLabels(); // 全记 半记 不记
QStringList uploadModeLabels(); // 全记 不记

// ---- typing rules -------------------------------------------------------------------------

// An address octet box after a change of its text.
struct OctetEdit {
    QString text;         // what the box holds afterwards
    bool changed = false; // text differs from the input
    bool beep = false;    // a character that is not a digit was taken out
    bool advance = false; // the focus moves to the next box
};
// Not a number, or a number above 255: emptied. Otherwise the first character that is not a
// digit is taken out (with a beep); a text of three digits moves on unless it is the last box.
OctetEdit octetRule(const QString& text, bool lastBox);

// The site box of the add-entry dialog after a change of its text.
struct SiteEdit {
    QString text;
    QString message; // shown with the exclamation icon; empty for none
    bool changed = false;
    bool caretToEnd = false;
};
SiteEdit siteRule(const QString& text);

// ---- group policy -------------------------------------------------------------------------

constexpr int kHours = 24;
constexpr int kClasses = 12;
// The captions of the 24 hour buttons in their order: "01-02" … "23-00", "00-01".
QStringList hourCaptions();
// The captions of the twelve class tabs and the columns A … L they are bound to.
QStringList classTabCaptions();
QStringList policyColumns();
inline const QString kEmptyMask = QString(kHours, QLatin1Char('0'));
enum class QuickSelect { All, Half, None };
// 全选: every hour; 半选: buttons 8 … 19 (08:00 to 20:00); 不选: none.
QString quickMask(QuickSelect select);
// Hour j (1-based) of a mask; a missing character counts as off.
bool hourOn(const QString& mask, int j);
QString setHour(QString mask, int j, bool on);

// ---- statements ---------------------------------------------------------------------------

namespace sql
{
// Views.
QString terminals();    // SELECT * FROM usertable ORDER BY NAME
QString groups();       // SELECT * FROM grouptable ORDER BY TEAM
QString blackList();    // the administrator's entries of blacktable
QString whiteList();    // and of whitetable
QString recentVisits(); // webtable, newest first
QString groupNames();   // SELECT Team FROM grouptable
QString classes();      // SELECT * FROM classtable

// Terminals and groups.
QString insertTerminal(const QString& name, const QString& address, const QString& group);
QString insertGroup(const QString& name, const QString& accessCode, const QString& uploadCode);
QString renameTerminal(const QString& name, const QString& address);
QString renameTerminalInLog(const QString& name, const QString& address);
QString renameTerminalInUploads(const QString& name, const QString& address);
QString renameGroup(const QString& name, const QString& old);
QString renameGroupMembers(const QString& name, const QString& old);
QString renameGroupInLog(const QString& name, const QString& old);
QString assignGroup(const QString& group, const QString& address);
QString deleteTerminal(const QString& address);
QString moveMembersToBuiltIn(const QString& group);
QString deleteGroup(const QString& group);

// The count of rows that hold the name already: exactly as typed, or ignoring letter case.
enum class Match { Exact, IgnoreCase };
QString terminalNameCount(const QString& name, Match match);
QString terminalAddressCount(const QString& address);
QString groupNameCount(const QString& name, Match match);
// The administrator's entries of blacktable or whitetable named so.
QString entryCount(const QString& table, const QString& name, Match match);

// The policy of one group.
QString policyOf(const QString& group);
// One statement for the whole policy: the masks of the columns given (a tab without a column
// writes nothing), then both logging modes.
struct ColumnMask {
    QString column;
    QString mask;
};
QString writePolicy(const QString& group, const QList<ColumnMask>& masks, const QString& accessCode,
                    const QString& uploadCode);

// The lists.
QString deleteBlack(const QString& site);
QString deleteWhite(const QString& site);
QString insertBlack(const QString& site, const QString& title, const QString& className);
QString insertWhite(const QString& site, const QString& title, const QString& flag);
QString renameEntry(const QString& table, const QString& name, const QString& old);
QString deleteVisit(const QString& url);
} // namespace sql

// The three statements that put a site on one list: out of both, then into the one. The block
// dialog takes it out of the white list first, the add-entry dialog out of the black list.
QStringList putOnBlackList(const QString& site, const QString& title, const QString& className,
                           bool whiteFirst = false);
QStringList putOnWhiteList(const QString& site, const QString& title, bool logged);

} // namespace lt::overseer::admin
