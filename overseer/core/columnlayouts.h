#pragma once
// The column layouts of the views (header text and width in twips), one procedure per layout.
// The first column of every layout is the row's text, the others are its sub-items in order.

#include "overseer/core/pagemodel.h"

namespace lt::overseer
{

ColumnLayout ListviewHeadShow_日志(); // access log
ColumnLayout ListviewHeadShow_终端(); // terminals
ColumnLayout ListviewHeadShow_组别(); // groups
ColumnLayout ListviewHeadShow_黑单(); // black list
ColumnLayout ListviewHeadShow_白单(); // white list
ColumnLayout ListviewHeadShow_访问(); // recent visits
ColumnLayout ListviewHeadShow_流量(); // traffic statistics
ColumnLayout ListviewHeadShow_上传(); // upload log
ColumnLayout ListviewHeadShow_统计(); // visit statistics by web page
ColumnLayout ListviewHeadShow_地址(); // visit statistics by terminal

// The access log's columns: the first eight fields of a logtable row in table order.
enum class LogColumn { Name, IP, AcTime, Team, Title, URL, Class, Result, Count };
// The upload log's columns.
enum class UploadColumn { Name, IP, UpSendTxt, AcTime, URL, Count };

} // namespace lt::overseer
