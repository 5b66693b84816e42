#include "overseer/query/dialoglx.h"

#include "common/clock.h"
#include "common/widgets/dialogform.h"
#include "overseer/core/consolecontext.h"
#include "overseer/query/traffic.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>

namespace lt::overseer
{

namespace
{

const QStringList kTabCaptions = {
    QStringLiteral("某用户实时流量"),   QStringLiteral("某用户某天流量"),
    QStringLiteral("某用户近周流量"),   QStringLiteral("所有用户某时段流量"),
    QStringLiteral("所有用户某日流量"), QStringLiteral("所有用户近周流量")};

const QString kUp = QStringLiteral("uptable");
const QString kDown = QStringLiteral("downtable");

QTreeWidget* list(QWidget* parent, const QString& name)
{
    auto* l = new QTreeWidget(parent);
    l->setObjectName(name);
    l->setRootIsDecorated(false);
    l->setUniformRowHeights(true);
    return l;
}

// Columns by width in twips.
void setColumns(QTreeWidget* l, const QList<QPair<QString, int>>& columns)
{
    l->clear();
    QStringList headers;
    for (const auto& c : columns)
        headers << c.first;
    l->setColumnCount(int(headers.size()));
    l->setHeaderLabels(headers);
    for (int i = 0; i < columns.size(); ++i)
        l->setColumnWidth(i, columns[i].second / 15);
}

QList<QPair<QString, int>> figureColumns(const QString& first)
{
    return {{first, 1750},
            {QStringLiteral("上传（K）"), 1400},
            {QStringLiteral("下载（K）"), 1400},
            {QStringLiteral("总流量（K）"), 1400}};
}

QList<qint64> counters(const QList<QString>& texts)
{
    QList<qint64> values;
    for (const QString& t : texts)
        values << t.trimmed().toLongLong();
    return values;
}

} // namespace

DialogLX::DialogLX(ConsoleContext& context) : DialogBase(context)
{
    setWindowTitle(QStringLiteral("流量显示"));
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));

    auto* live = new QWidget(TabStrip1);
    ListView_用户 = list(live, QStringLiteral("ListView_用户"));
    ListView_流量 = list(live, QStringLiteral("ListView_流量"));
    chart_ = new QChart;
    chart_->setTitle(QStringLiteral("用户实时流量图"));
    values_ = new QBarSet(QStringLiteral("流量（K）"));
    *values_ << 15 << 25 << 45;
    auto* series = new QBarSeries;
    series->append(values_);
    series->setLabelsVisible(true);
    chart_->addSeries(series);
    auto* axisX = new QBarCategoryAxis;
    axisX->append({QStringLiteral("上传"), QStringLiteral("下载"), QStringLiteral("总流量")});
    chart_->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    axisY_ = new QValueAxis;
    axisY_->setRange(0, 50);
    axisY_->setLabelFormat(QStringLiteral("%.2f"));
    chart_->addAxis(axisY_, Qt::AlignLeft);
    series->attachAxis(axisY_);
    chart_->legend()->hide();
    Chart1 = new QChartView(chart_, live);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setMinimumSize(360, 240);
    Command_OK = ui::makeButton(live, QStringLiteral("确  定"), QStringLiteral("Command_OK"));
    Label1 = new QLabel(QStringLiteral("请选择用户"), live);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label_NoTraffic = new QLabel(QStringLiteral("没有流量记录"), live);
    Label_NoTraffic->setObjectName(QStringLiteral("Label_NoTraffic"));
    Label_NoTraffic->setAlignment(Qt::AlignCenter);
    Label_NoTraffic->hide();

    auto* chartColumn = new QVBoxLayout;
    chartColumn->addWidget(Chart1, 1);
    chartColumn->addWidget(Label_NoTraffic);
    auto* top = new QHBoxLayout;
    top->addWidget(ListView_用户, 1);
    top->addLayout(chartColumn, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Label1, 1);
    buttons->addWidget(Command_OK);
    auto* liveLayout = new QVBoxLayout(live);
    liveLayout->addLayout(top, 3);
    liveLayout->addLayout(buttons);
    liveLayout->addWidget(ListView_流量, 2);
    TabStrip1->addTab(live, kTabCaptions[0]);
    for (int i = 1; i < kTabCaptions.size(); ++i)
        tabs << makeTab(i, i == 3, i == 1 || i == 3 || i == 4);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabStrip1);
    resize(900, 640);

    // A terminal chosen by a click or with the arrow keys: its figures at once, not a second
    // later.
    connect(ListView_用户, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        ListView_用户_Click(ListView_用户->indexOfTopLevelItem(item));
        Timer1_Timer();
    });
    connect(Command_OK, &QPushButton::clicked, this, &DialogLX::Command_OK_Click);
    connect(TabStrip1, &QTabWidget::currentChanged, this, [this](int i) {
        if (i > 0)
            showTab(i);
    });
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &DialogLX::Timer1_Timer);
    load();
    Timer1.start();
}

DialogLX::Tab DialogLX::makeTab(int index, bool span, bool day)
{
    Tab tab;
    auto* page = new QWidget(TabStrip1);
    auto* controls = new QHBoxLayout;
    if (index <= 2) {
        userLabels_[index - 1] = new QLabel(QStringLiteral("用户："), page);
        controls->addWidget(userLabels_[index - 1]);
    }
    tab.day = new QDateEdit(Clock::now().date(), page);
    tab.day->setObjectName(QStringLiteral("Date_%1").arg(index));
    tab.day->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    tab.day->setCalendarPopup(true);
    controls->addWidget(
        new QLabel(day ? QStringLiteral("日期：") : QStringLiteral("截至："), page));
    controls->addWidget(tab.day);
    if (span) {
        tab.fromHour = new QSpinBox(page);
        tab.fromHour->setObjectName(QStringLiteral("Hour_From"));
        tab.fromHour->setRange(0, 23);
        tab.toHour = new QSpinBox(page);
        tab.toHour->setObjectName(QStringLiteral("Hour_To"));
        tab.toHour->setRange(0, 23);
        tab.toHour->setValue(Clock::now().time().hour());
        controls->addWidget(new QLabel(QStringLiteral("从"), page));
        controls->addWidget(tab.fromHour);
        controls->addWidget(new QLabel(QStringLiteral("时至"), page));
        controls->addWidget(tab.toHour);
        controls->addWidget(new QLabel(QStringLiteral("时"), page));
    }
    controls->addStretch(1);
    tab.show =
        ui::makeButton(page, QStringLiteral("显示"), QStringLiteral("Command_显示%1").arg(index));
    controls->addWidget(tab.show);
    tab.list = list(page, QStringLiteral("ListView_%1").arg(index));
    if (index == 1)
        setColumns(tab.list, figureColumns(QStringLiteral("时段")));
    else if (index == 2)
        setColumns(tab.list, figureColumns(QStringLiteral("日期")));
    else
        setColumns(tab.list, QList<QPair<QString, int>>{{QStringLiteral("用户 IP"), 1500}} +
                                 figureColumns(QStringLiteral("用户名称")));
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(controls);
    layout->addWidget(tab.list, 1);
    TabStrip1->addTab(page, kTabCaptions[index]);
    connect(tab.show, &QPushButton::clicked, this, [this, index] { showTab(index); });
    return tab;
}

db::Connection* DialogLX::connection() const
{
    return context().MySql ? &context().MySql->Cnn1 : nullptr;
}

void DialogLX::ListviewHeadShow_用户显示()
{
    setColumns(ListView_用户,
               {{QStringLiteral("用户 IP"), 1500}, {QStringLiteral("用户名称"), 1500}});
}

void DialogLX::ListviewHeadShow_流量显示()
{
    setColumns(ListView_流量, {{QStringLiteral("时间"), 1750},
                               {QStringLiteral("流量（K）"), 1200},
                               {QStringLiteral("状态"), 1000},
                               {QStringLiteral("端口号"), 1000},
                               {QStringLiteral("协议"), 1750},
                               {QStringLiteral("URL"), 3850},
                               {QStringLiteral("备注"), 3850}});
}

void DialogLX::load()
{
    ListviewHeadShow_用户显示();
    ListviewHeadShow_流量显示();
    db::Connection* c = connection();
    if (!c)
        return;
    c->stream(QStringLiteral("SELECT * FROM usertable"), [this](const db::Row& row) {
        const QString ip = row.field(QStringLiteral("IP")).toString().trimmed();
        const QString name = row.field(QStringLiteral("Name")).toString().trimmed();
        new QTreeWidgetItem(ListView_用户, {ip, name});
        names_.insert(ip, name);
        return true;
    });
    c->clearError();
    // The chart shows the first terminal at once rather than zeros until one is clicked (the
    // current item's change chooses it).
    if (QTreeWidgetItem* first = ListView_用户->topLevelItem(0))
        ListView_用户->setCurrentItem(first);
}

void DialogLX::ListView_用户_Click(int row)
{
    QTreeWidgetItem* item = ListView_用户->topLevelItem(row);
    if (!item)
        return;
    MonitorAddr = item->text(0);
    const QString who = item->text(1) + QStringLiteral("（") + MonitorAddr + QStringLiteral("）");
    Label1->setText(QStringLiteral("用户：") + who);
    for (QLabel* l : userLabels_)
        l->setText(QStringLiteral("用户：") + who);
}

QList<qint64> DialogLX::sums(const QString& sql, int columns) const
{
    QList<QString> texts(columns, QStringLiteral("0"));
    if (db::Connection* c = connection()) {
        c->stream(sql, [&](const db::Row& row) {
            for (int i = 0; i < columns && i < row.fieldCount(); ++i)
                texts[i] = row.field(i).toString();
            return false;
        });
        c->clearError();
    }
    return counters(texts);
}

QList<QPair<QString, qint64>> DialogLX::pairs(const QString& sql) const
{
    QList<QPair<QString, qint64>> rows;
    if (db::Connection* c = connection()) {
        c->stream(sql, [&](const db::Row& row) {
            rows << qMakePair(row.field(0).toString().trimmed(),
                              row.field(1).toString().trimmed().toLongLong());
            return true;
        });
        c->clearError();
    }
    return rows;
}

void DialogLX::Command_OK_Click()
{
    ListView_流量->clear();
    db::Connection* c = connection();
    if (!c)
        return;
    const auto read = [c](const QString& table, const QString& address) {
        QList<ConnectionRow> rows;
        c->stream(connectionsSql(table, address), [&](const db::Row& r) {
            ConnectionRow row;
            row.srcip = r.field(QStringLiteral("srcip")).toString().trimmed();
            row.dstip = r.field(QStringLiteral("dstip")).toString().trimmed();
            row.date = r.field(QStringLiteral("date")).toString().trimmed();
            row.strurl = r.field(QStringLiteral("strurl")).toString().trimmed();
            row.srcport = r.field(QStringLiteral("srcport")).toInt();
            row.dstport = r.field(QStringLiteral("dstport")).toInt();
            for (int h = 0; h < 24; ++h)
                row.sent << r.field(QStringLiteral("t%1").arg(h)).toLongLong();
            rows << row;
            return true;
        });
        c->clearError();
        return rows;
    };
    const QList<ConnectionRow> sent = read(kUp, MonitorAddr);
    QHash<QString, QList<qint64>> received;
    for (const ConnectionRow& r : read(kDown, MonitorAddr))
        received.insert(r.dstip + u'\n' + r.date + u'\n' + r.strurl, r.sent);
    const QDateTime now = Clock::now();
    for (ConnectionRow row : sent) {
        row.received = received.value(row.dstip + u'\n' + row.date + u'\n' + row.strurl);
        new QTreeWidgetItem(ListView_流量, connectionListRow(row, now.date(), now.time().hour()));
    }
}

void DialogLX::setChart(qreal sent, qreal received)
{
    values_->replace(0, sent);
    values_->replace(1, received);
    values_->replace(2, sent + received);
    const qreal top = std::max<qreal>(sent + received, 1.0);
    if (top > axisY_->max() || top < axisY_->max() / 4)
        axisY_->setRange(0, top * 1.25);
}

void DialogLX::Timer1_Timer()
{
    if (MonitorAddr.isEmpty()) {
        setChart(0, 0);
        Label_NoTraffic->hide();
        return;
    }
    const QDateTime now = Clock::now();
    const int hour = now.time().hour();
    const qint64 sent = sums(hourCounterSql(kUp, MonitorAddr, now.date(), hour), 1).value(0);
    const qint64 received = sums(hourCounterSql(kDown, MonitorAddr, now.date(), hour), 1).value(0);
    setChart(kiloText(sent).toDouble(), kiloText(received).toDouble());
    Label_NoTraffic->setVisible(sent <= 0 && received <= 0);
}

QList<qreal> DialogLX::chartValues() const
{
    return {values_->at(0), values_->at(1), values_->at(2)};
}

void DialogLX::showTab(int index)
{
    if (index < 1 || index > tabs.size())
        return;
    Tab& tab = tabs[index - 1];
    tab.list->clear();
    const QDate day = tab.day->date();
    if (index == 1 || index == 2) {
        if (MonitorAddr.isEmpty())
            return;
        if (index == 1) {
            const QList<qint64> up = sums(dayByHourSql(kUp, MonitorAddr, day), 24);
            const QList<qint64> down = sums(dayByHourSql(kDown, MonitorAddr, day), 24);
            for (int h = 0; h < 24; ++h) {
                const QString span = QStringLiteral("%1:00-%2:00")
                                         .arg(h, 2, 10, QChar(u'0'))
                                         .arg(h + 1, 2, 10, QChar(u'0'));
                new QTreeWidgetItem(tab.list, {span, kiloText(up[h]), kiloText(down[h]),
                                               kiloText(up[h] + down[h])});
            }
            return;
        }
        QHash<QString, qint64> up, down;
        for (const auto& p : pairs(weekByDaySql(kUp, MonitorAddr, day)))
            up.insert(p.first, p.second);
        for (const auto& p : pairs(weekByDaySql(kDown, MonitorAddr, day)))
            down.insert(p.first, p.second);
        for (int d = 6; d >= 0; --d) {
            const QString date = counterDate(day.addDays(-d));
            const qint64 u = up.value(date), w = down.value(date);
            new QTreeWidgetItem(tab.list, {date, kiloText(u), kiloText(w), kiloText(u + w)});
        }
        return;
    }
    fillTerminalTab(tab, index);
}

void DialogLX::fillTerminalTab(Tab& tab, int index)
{
    const QDate day = tab.day->date();
    int from = 0, to = 23;
    if (index == 3) {
        from = std::min(tab.fromHour->value(), tab.toHour->value());
        to = std::max(tab.fromHour->value(), tab.toHour->value());
    }
    const auto sql = [&](const QString& table) {
        return index == 5 ? terminalsWeekSql(table, day) : terminalsSpanSql(table, day, from, to);
    };
    QHash<QString, qint64> up, down;
    QStringList order;
    for (const auto& p : pairs(sql(kUp))) {
        up.insert(p.first, p.second);
        order << p.first;
    }
    for (const auto& p : pairs(sql(kDown))) {
        down.insert(p.first, p.second);
        if (!up.contains(p.first))
            order << p.first;
    }
    for (const QString& ip : order) {
        const qint64 u = up.value(ip), w = down.value(ip);
        new QTreeWidgetItem(tab.list,
                            {ip, names_.value(ip), kiloText(u), kiloText(w), kiloText(u + w)});
    }
}

} // namespace lt::overseer
