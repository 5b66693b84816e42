#pragma once
// How a database failure is worded for the people who see it: a Chinese reason first, the
// driver's own message after it as the detail ("[SQLSTATE] text"). The reason tells a server
// that cannot be reached (not started, stopped, restarted, network cut, no answer in time) from
// a statement the server refused, so that a message never blames the data for a lost
// connection.

#include <QString>

namespace lt::db
{

struct Error;

// The server could not be reached or the connection to it is gone, as opposed to a statement
// the server answered with an error.
bool serverUnreachable(const Error& error);

// The reason in Chinese, ending with "。".
QString failureReason(const Error& error);
// The driver's words: "[08S01] Lost connection to server during query"; empty for no error.
QString failureDetail(const Error& error);
// "reason（详细信息：detail）" on one line, for status lines.
QString describeFailure(const Error& error);

// A message split into what a person reads and the driver's words behind it, for message boxes
// that show the driver's words only on request. The driver's words are recognised by the forms
// the programs write them in: "（详细信息：…）" at the end of a line (describeFailure), a line
// starting with "详细信息：", and a line as the driver gives it ("[08S01] …", "[ma-3.1.15]…",
// "[unixODBC]…"). A text made of nothing else stays whole.
struct MessageParts {
    QString text;
    QString detail; // one line per piece of the driver's words; empty when there are none
};
MessageParts splitDriverWords(const QString& message);

// The message of a login against a server that cannot be reached.
inline const QString kServerUnreachable =
    QStringLiteral("无法连接数据库服务器，请检查数据库服务是否启动。");

} // namespace lt::db
