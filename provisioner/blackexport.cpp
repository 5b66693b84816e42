#include "provisioner/blackexport.h"

#include "common/blacklist.h"
#include "common/odbc.h"

namespace lt::prov
{

bool isExportGesture(Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    return button == Qt::RightButton && modifiers.testFlag(Qt::ControlModifier) &&
           modifiers.testFlag(Qt::AltModifier) && !modifiers.testFlag(Qt::ShiftModifier);
}

bool accessCodeAccepted(const QString& typed)
{
    return typed == QStringLiteral("Kvtwpa1987");
}

QString refusedMessage(const QStringList& refused)
{
    constexpr int kShown = 20;
    QString text = kExportRefused.arg(refused.size());
    for (const QString& line : refused.mid(0, kShown))
        text += u'\n' + line;
    if (refused.size() > kShown)
        text += QStringLiteral("\n……");
    return text;
}

ExportResult exportMasterBlackList(db::Connection& connection, const QString& path)
{
    ExportResult result;
    if (!connection.open(kMasterConnectionString, {}, {})) {
        result.error = connection.lastError().message;
        return result;
    }
    db::Recordset rs = connection.query(kMasterQuery);
    if (connection.failed() || !rs.isOpen()) {
        result.error = connection.lastError().message;
        connection.close();
        return result;
    }
    result.read = true;
    result.records = rs.recordCount();
    std::vector<blacklist::Record> records;
    for (rs.moveFirst(); !rs.eof() && int(records.size()) < kMaxBlackListRecords; rs.moveNext()) {
        records.push_back({rs.field(QStringLiteral("域名")).toString().trimmed(),
                           rs.field(QStringLiteral("标题")).toString().trimmed(),
                           rs.field(QStringLiteral("类别")).toString().trimmed()});
    }
    connection.close();
    result.written = blacklist::write(path, records, &result.refused);
    result.recordsWritten = int(records.size() - size_t(result.refused.size()));
    return result;
}

} // namespace lt::prov
