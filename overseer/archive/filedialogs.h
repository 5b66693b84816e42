#pragma once
// The common file dialogs of the export window and the restores, as a service that tests answer
// instead of a person. The filters are written as the dialogs are given them ("日志文件
// (*.txt)|*.txt|": description and pattern pairs separated by "|").

#include "overseer/archive/archiveformats.h"

#include <QString>
#include <functional>

class QWidget;

namespace lt::overseer::archive
{

struct FileRequest {
    enum Kind { Save, Open };
    Kind kind = Save;
    QString filter;
    QString title;
    QString defaultExt;
    QString fileName;             // the name offered, or empty
    bool confirmOverwrite = true; // a save asks before it replaces a file
};

// The save dialog of an export, and the open dialogs of the two restores.
FileRequest saveRequest(ExportKind kind);
FileRequest openBackupRequest();
FileRequest openConfigRequest();

// The filter in Qt's form: "日志文件 (*.txt)".
QString qtFilter(const QString& filter);

// The path chosen; empty when the dialog was cancelled.
QString askFile(QWidget* parent, const FileRequest& request);

// Tests: the handler answers instead of a dialog until it is removed (empty function).
using FileHandler = std::function<QString(const FileRequest&)>;
void setFileHandler(FileHandler handler);

} // namespace lt::overseer::archive
