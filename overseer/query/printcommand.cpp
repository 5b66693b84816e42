#include "overseer/query/printcommand.h"

#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/seqfile.h"
#include "overseer/archive/archivejobs.h"
#include "overseer/archive/jobsupport.h"
#include "overseer/core/windowless.h"

#include <QPdfWriter>
#include <cstdio>

namespace lt::overseer
{

namespace
{

const QString kOption = QStringLiteral("--print-pdf");

int failed(const QString& message)
{
    printLine(stderr, message);
    return kExitFailed;
}

// The PDF writer's output going straight into the file that replaces the target, so that a
// printout of thousands of pages is never held in memory.
class ReplacingDevice : public QIODevice
{
public:
    explicit ReplacingDevice(ReplacingFile& file) : file_(file) {}

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        return file_.write(QByteArrayView(data, size)) ? size : -1;
    }

private:
    ReplacingFile& file_;
};

QString logName(bool upload)
{
    return upload ? QStringLiteral("上传日志") : QStringLiteral("浏览日志");
}

// The records of the source; -1 with the message set when the count failed.
qint64 countRecords(db::Connection& c, const PrintSource& source, QString* message)
{
    const db::Recordset r = c.query(QStringLiteral("SELECT count(*) FROM ") + source.table +
                                    QStringLiteral(" WHERE ") + source.condition);
    if (c.failed() || r.eof()) {
        *message = QStringLiteral("统计要打印的记录数失败。") + db::describeFailure(c.lastError());
        return -1;
    }
    return r.field(0).toLongLong();
}

} // namespace

bool isPrintCommand(const QStringList& arguments)
{
    return arguments.size() > 1 && arguments[1] == kOption;
}

PrintCommand parsePrintCommand(const QStringList& arguments)
{
    PrintCommand c;
    c.state.CondStart.clear();
    c.state.CondEnd.clear();
    const QStringList a = arguments.mid(1);
    const auto wrong = [&c](const QString& why) {
        c.error = why;
        return c;
    };
    if (a.size() < 2 || a[0] != kOption || a[1].isEmpty() || a[1].startsWith(QLatin1String("--")))
        return wrong(QStringLiteral("--print-pdf 需要一个文件"));
    c.file = a[1];
    for (int i = 2; i < a.size(); ++i) {
        const bool valued = i + 1 < a.size();
        if (a[i] == QLatin1String("--from") && valued) {
            c.state.CondStart = a[++i];
        } else if (a[i] == QLatin1String("--to") && valued) {
            c.state.CondEnd = a[++i];
        } else if (a[i] == QLatin1String("--ip") && valued && !a[i + 1].trimmed().isEmpty()) {
            c.state.CondTermIP = a[++i].trimmed();
            c.state.CondCode = QStringLiteral("10000");
        } else if (a[i] == QLatin1String("--upload")) {
            c.upload = true;
        } else {
            return wrong(QStringLiteral("无法理解的参数 ") + a[i]);
        }
    }
    if (const QString why = rangeError(c.state.CondStart, c.state.CondEnd); !why.isEmpty())
        return wrong(why);
    return c;
}

PrintSource printSourceOf(const PrintCommand& command)
{
    PrintSource source;
    source.kind = command.upload ? LogPrintout::Kind::Upload : LogPrintout::Kind::Browse;
    source.table = command.upload ? QStringLiteral("upsendtable") : QStringLiteral("logtable");
    // Codes 00000 and 10000 are shapes of both logs.
    source.condition =
        (command.upload ? uploadCondition(command.state) : logCondition(command.state))
            .value_or(QString());
    return source;
}

int runPrintCommand(const QStringList& arguments)
{
    const PrintCommand c = parsePrintCommand(arguments);
    if (!c.error.isEmpty())
        return usageError(c.error);
    db::Connection connection;
    if (!archive::openJobConnection(connection, dsn::chosenConnectionStrings().log))
        return failed(QStringLiteral("无法连接数据库。") +
                      db::describeFailure(connection.lastError()));
    // The count and the pages read the same snapshot, whatever the capture module adds meanwhile.
    connection.execute(QStringLiteral("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    if (!connection.beginTransaction())
        return failed(QStringLiteral("无法读取日志。") +
                      db::describeFailure(connection.lastError()));
    const PrintSource source = printSourceOf(c);
    QString message;
    const qint64 records = countRecords(connection, source, &message);
    if (records < 0)
        return failed(message);
    if (records == 0) {
        printLine(stdout, QStringLiteral("这段时间没有%1记录，未写入文件").arg(logName(c.upload)));
        return kExitDone;
    }
    const int pages = printPageCount(records);

    ReplacingFile file(c.file);
    if (!file.open(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed(archive::fileFailure(file.error()));
    ReplacingDevice device(file);
    device.open(QIODevice::WriteOnly);
    PrintOutcome outcome;
    {
        QPdfWriter writer(&device);
        writer.setPageLayout(printPageLayout());
        writer.setTitle(kPrintDocumentName);
        writer.setCreator(QStringLiteral("Lantrove系统"));
        outcome = printLog(connection, source, 1, pages, &writer);
    }
    device.close();
    connection.rollback();
    if (!outcome.ok) {
        file.abandon();
        return failed(printFailedText(outcome));
    }
    if (!file.commit())
        return failed(archive::fileFailure(file.error()));
    printLine(stdout, QStringLiteral("日志打印完毕：%1 %2 条记录，共 %3 页，写入 %4")
                          .arg(logName(c.upload))
                          .arg(records)
                          .arg(outcome.pages)
                          .arg(c.file));
    return kExitDone;
}

} // namespace lt::overseer
