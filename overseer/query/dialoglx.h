#pragma once
// "流量显示", the live traffic monitor: the terminals, the connections the capture modules
// counted for the one clicked, and the chart "用户实时流量图" of its traffic in the hour running
// (sent, received, both), read from the hourly counters once a second. Five more tabs give one
// terminal's day and week and every terminal's span of hours, day and week, from the same
// counters. Reads the configuration database on Cnn1.

#include "overseer/core/dialogbase.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QTimer>

class QBarSet;
class QChart;
class QChartView;
class QDateEdit;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QValueAxis;

namespace lt::db
{
class Connection;
}

namespace lt::overseer
{

class DialogLX : public DialogBase
{
    Q_OBJECT
public:
    static constexpr char kName[] = "DialogLX";
    explicit DialogLX(ConsoleContext& context);

    // The address of the user row last clicked.
    QString MonitorAddr;

    QTabWidget* TabStrip1;
    QTreeWidget* ListView_用户;
    QTreeWidget* ListView_流量;
    QChartView* Chart1;
    QPushButton* Command_OK; // "确  定"
    QLabel* Label1;
    QLabel* Label_NoTraffic; // "没有流量记录" under the chart, for a terminal without traffic
    QTimer Timer1;

    // The other tabs, in order: one list each, and the day and hours they cover.
    struct Tab {
        QDateEdit* day = nullptr;
        QSpinBox* fromHour = nullptr;
        QSpinBox* toHour = nullptr;
        QPushButton* show = nullptr; // "显示"
        QTreeWidget* list = nullptr;
    };
    QList<Tab> tabs; // tabs[0] is "某用户某天流量" … tabs[4] "所有用户近周流量"

    void ListviewHeadShow_用户显示();
    void ListviewHeadShow_流量显示();
    void ListView_用户_Click(int row);
    void Command_OK_Click();
    void Timer1_Timer();
    void showTab(int index); // fills tab index (1..5)

    // The chart's three values: "上传", "下载", "总流量" (K).
    QList<qreal> chartValues() const;

private:
    db::Connection* connection() const;
    void load();
    QList<qint64> sums(const QString& sql, int columns) const;
    QList<QPair<QString, qint64>> pairs(const QString& sql) const;
    Tab makeTab(int index, bool span, bool day);
    void fillTerminalTab(Tab& tab, int index);
    void setChart(qreal sent, qreal received);

    QChart* chart_;
    QBarSet* values_;
    QValueAxis* axisY_;
    QHash<QString, QString> names_; // address -> name
    QLabel* userLabels_[2] = {nullptr, nullptr};
};

} // namespace lt::overseer
