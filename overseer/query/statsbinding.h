#pragma once
// The statistics, the traffic monitor and the printouts in the console: their views, the
// toolbar keys "访问统计", "流量统计" and "日志打印", and the items "查看/打印预览",
// "上传/打印" and the upload record's "打印".

#include "overseer/query/logquery.h"

namespace lt::overseer
{

class FormMain;
class StatisticsView;
class PrintPreviewView;

// Creates the views (owned by the main window) and binds their keys and items.
void bindStatistics(FormMain& form, LogQueryState& conditions);

StatisticsView* statisticsView(FormMain& form);
PrintPreviewView* printPreviewView(FormMain& form);

// The procedure of "日志打印": the print dialog over the records previewed.
void 日志打印函数(FormMain& form);
// "上传/打印": the print dialog over the upload log listed.
void m显示内容(FormMain& form);

} // namespace lt::overseer
