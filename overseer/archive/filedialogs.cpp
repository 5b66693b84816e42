#include "overseer/archive/filedialogs.h"

#include <QFileDialog>

namespace lt::overseer::archive
{

namespace
{

FileHandler& handler()
{
    static FileHandler h;
    return h;
}

FileRequest save(const QString& filter, const QString& title, const QString& ext,
                 const QString& name)
{
    return {FileRequest::Save, filter, title, ext, name, true};
}

} // namespace

FileRequest saveRequest(ExportKind kind)
{
    switch (kind) {
    case ExportKind::BrowseReport:
        return save(QStringLiteral("日志文件 (*.txt)|*.txt|"),
                    QStringLiteral("导出浏览日志文件另存为"), QStringLiteral("txt"),
                    QStringLiteral("浏览日志.TXT"));
    case ExportKind::UploadReport:
        return save(QStringLiteral("日志文件(*.txt)|*.txt|"),
                    QStringLiteral("导出上传日志文件另存为"), QStringLiteral("txt"),
                    QStringLiteral("上传日志.TXT"));
    case ExportKind::Config:
        return save(QStringLiteral("配置文件(*.cfg)|*.cfg|"), QStringLiteral("导出配置文件另存为"),
                    QStringLiteral("cfg"), QStringLiteral("配置文件.cfg"));
    case ExportKind::LogBackup:
        break;
    }
    return save(QStringLiteral("日志备份 (*.bak)|*.bak|"), QStringLiteral("导出日志备份文件另存为"),
                QStringLiteral("bak"), QStringLiteral("日志备份.bak"));
}

FileRequest openBackupRequest()
{
    return {FileRequest::Open,
            QStringLiteral("日志备份 (*.bak)|*.bak|"),
            QStringLiteral("打开日志备份文件"),
            QStringLiteral("bak"),
            {},
            false};
}

FileRequest openConfigRequest()
{
    return {FileRequest::Open,
            QStringLiteral("配置文件 (*.cfg)|*.cfg|"),
            QStringLiteral("打开备份的配置文件"),
            QStringLiteral("txt"),
            {},
            false};
}

QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        // The pattern travels in the description already where it is written there.
        const QString& description = parts[i];
        filters << (description.contains(parts[i + 1])
                        ? description
                        : description + QStringLiteral(" (") + parts[i + 1] + u')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString askFile(QWidget* parent, const FileRequest& request)
{
    if (handler())
        return handler()(request);
    QFileDialog dialog(parent, request.title, QString(), qtFilter(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix(request.defaultExt);
    if (request.kind == FileRequest::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
        dialog.selectFile(request.fileName);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void setFileHandler(FileHandler h)
{
    handler() = std::move(h);
}

} // namespace lt::overseer::archive
