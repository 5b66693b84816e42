#pragma once
// The blocking module's judgement of one request and the rows of what it blocked.
//
// A terminal's group comes from usertable by its address (an address not there belongs to
// "临时工作组"); the site's class is the class of its longest black-list entry (delivered and
// the console's alike), "上网" for a site on no list. The site is blocked when the hour of the
// visit is selected in the group's mask of that class (a selected hour blocks; position h of a
// mask is the hour from h o'clock, position 24 the hour from midnight). A site on the white
// list is never blocked (the longer entry decides; a white entry as long as a black one wins).
// All of it is the configuration reader's verdict (common/siteconfig.h).
//
// A blocked visit is one browse-log row with Result "阻断" and the class that blocked it, and
// one recent-visit row, written through the shared row writer; the monitor leaves such visits
// to this module while it enforces (common/blockstate.h), so no visit is counted twice. The
// group's browse-log level holds for them as for any visit: "不记" writes nothing, "半记" one
// row per terminal and site in ten minutes. A client that tries again at once after a reset
// (browsers do, several times) makes no new row within kRetrySeconds.

#include "common/logrows.h"
#include "common/siteconfig.h"
#include "outside/blocker/requestreader.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <mutex>

namespace lt::blocker
{

inline const QString kBlockedResult = QStringLiteral("阻断");
inline const QString kBlockNotice = QStringLiteral("该网站已被管理员禁止访问");

// One request of a connection, as the policy sees it.
struct Visit {
    QString terminal; // the terminal's address as the log's IP column holds it
    QString server;   // the server's address, the site of a request that names none
    uint16_t port = 0;
    Request request;
};

struct Judgement {
    bool blocked = false;
    QString address; // the terminal's, as the log's IP column holds it
    site::Terminal terminal;
    site::Verdict verdict;
    QString host; // the site judged: the named host, or the server's address
    QString url;  // as the browse log writes it
};

Judgement judge(const site::Snapshot& config, const Visit& visit, const QDateTime& when);

// The path of an HTTP request target, without query and fragment (an absolute target loses
// its scheme and host).
QString requestPath(const std::string& target);

// What a blocked HTTP request is answered with: 403 and a short Chinese page.
QByteArray blockPage(const QString& host);

class BlockLog
{
public:
    static constexpr qint64 kRetrySeconds = 3;
    static constexpr qint64 kRepeatSeconds = 600; // "半记"

    explicit BlockLog(logrows::RowWriter& writer) : writer_(writer) {}

    // Hands the rows of a blocked visit to the writer; false when the group's level or a
    // retry kept them out. Thread-safe.
    bool record(const site::Snapshot& config, const Judgement& judgement, const QDateTime& when,
                qint64 length);

private:
    bool seen(QHash<QString, qint64>& memory, const QString& key, qint64 seconds, qint64 within);

    logrows::RowWriter& writer_;
    std::mutex mutex_;
    QHash<QString, qint64> retries_; // address and URL -> second of the last row
    QHash<QString, qint64> repeats_; // address and host -> second, for "半记"
};

} // namespace lt::blocker
