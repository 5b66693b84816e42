#include "overseer/query/dialogpt.h"

#include "common/dbmessages.h"
#include "common/widgets/dialogform.h"
#include "common/widgets/messages.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace lt::overseer
{

namespace
{

QLineEdit* pageBox(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromUtf8(name));
    // Digits only, as the page boxes of the printer dialog take them.
    box->setValidator(new QIntValidator(0, 99999, box));
    box->setMaximumWidth(70);
    return box;
}

QLabel* label(QWidget* parent, const QString& text, const char* name = nullptr)
{
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromUtf8(name));
    return l;
}

} // namespace

DialogPrint::DialogPrint(ConsoleContext& context, LogPrintout::Kind kind)
    : DialogBase(context), kind_(kind)
{
    setWindowTitle(QStringLiteral("打印参数"));
    source_.kind = kind;
    Label_纸张 = label(this, QStringLiteral("纸  张：Ａ４"), "Label_纸张");
    Label_方向 = label(this, QStringLiteral("方  向：纵向"), "Label_方向");
    Label_页数 = label(this, QStringLiteral("页  数：0 页"), "Label_页数");
    Text_起始 = pageBox(this, "Text_起始");
    Text_终止 = pageBox(this, "Text_终止");
    Combo_打印机 = new QComboBox(this);
    Combo_打印机->setObjectName(QStringLiteral("Combo_打印机"));
    Combo_打印机->addItems(printerChoices());
    Label_打印机 = label(this, noPrinterNote(), "Label_打印机");
    Label_打印机->setWordWrap(true);
    Label_打印机->setVisible(!Label_打印机->text().isEmpty());
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->hide();
    Command_Preview =
        ui::makeButton(this, QStringLiteral("预览"), QStringLiteral("Command_Preview"));
    OKButton = ui::makeButton(this, QStringLiteral("确定"), QStringLiteral("OKButton"), true);
    CancelButton = ui::makeButton(this, QStringLiteral("取消"), QStringLiteral("CancelButton"));

    auto* grid = new QGridLayout;
    grid->addWidget(Label_纸张, 0, 0, 1, 3);
    grid->addWidget(Label_方向, 1, 0, 1, 3);
    grid->addWidget(Label_页数, 2, 0, 1, 3);
    grid->addWidget(label(this, QStringLiteral("打印第：")), 3, 0);
    grid->addWidget(Text_起始, 3, 1);
    grid->addWidget(label(this, QStringLiteral("页")), 3, 2);
    grid->addWidget(label(this, QStringLiteral("至  第：")), 4, 0);
    grid->addWidget(Text_终止, 4, 1);
    grid->addWidget(label(this, QStringLiteral("页")), 4, 2);
    grid->addWidget(label(this, QStringLiteral("打印机：")), 5, 0);
    grid->addWidget(Combo_打印机, 5, 1, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(Label_打印机);
    layout->addWidget(ProgressBar1);
    layout->addLayout(ui::buttonRow({Command_Preview, OKButton, CancelButton}));
    setMinimumWidth(320);

    connect(OKButton, &QPushButton::clicked, this, &DialogPrint::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &DialogPrint::CancelButton_Click);
    connect(Command_Preview, &QPushButton::clicked, this, &DialogPrint::Command_Preview_Click);
}

DialogPrint::~DialogPrint()
{
    // The printout in hand stops after its page; work_, destroyed first, waits for that.
    cancel_ = true;
}

void DialogPrint::setSource(const PrintSource& source, qint64 records,
                            const QString& connectionString)
{
    source_ = source;
    source_.kind = kind_;
    connection_ = connectionString;
    TotalPages = printPageCount(records);
    Label_页数->setText(QStringLiteral("页  数：%1 页").arg(TotalPages));
    Text_起始->setText(QStringLiteral("1"));
    Text_终止->setText(QString::number(TotalPages));
}

bool DialogPrint::pageRange(int* first, int* last)
{
    switch (checkPageRange(Text_起始->text(), Text_终止->text(), TotalPages)) {
    case PageRange::NotNumeric:
        return false;
    case PageRange::Wrong:
        ui::message(this, QStringLiteral("打印页设置不对"), ui::Icon::Exclamation);
        return false;
    case PageRange::Ok:
        break;
    }
    *first = Text_起始->text().toInt();
    *last = Text_终止->text().toInt();
    return true;
}

std::optional<PrintTarget> DialogPrint::chooseTarget()
{
    PrintTarget target{Combo_打印机->currentText(), {}};
    if (target.toPdf()) {
        const QString name = kind_ == LogPrintout::Kind::Browse ? QStringLiteral("访问日志.pdf")
                                                                : QStringLiteral("上传日志.pdf");
        target.pdfPath = choosePdfFile(this, QDir::home().filePath(name));
        if (target.pdfPath.isEmpty())
            return std::nullopt;
    }
    return target;
}

void DialogPrint::OKButton_Click()
{
    int first = 0, last = 0;
    if (printing() || !pageRange(&first, &last))
        return;
    const auto target = chooseTarget();
    if (!target)
        return;
    printer_ = makePrinter(*target);
    cancel_ = false;
    outcome_ = {};
    ProgressBar1->setRange(0, last - first + 1);
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    for (QWidget* w : {static_cast<QWidget*>(OKButton), static_cast<QWidget*>(Command_Preview),
                       static_cast<QWidget*>(Text_起始), static_cast<QWidget*>(Text_终止),
                       static_cast<QWidget*>(Combo_打印机)})
        w->setEnabled(false);
    QPrinter* printer = printer_.get();
    const PrintSource source = source_;
    const QString connection = connection_;
    printing_ = true;
    if (!work_)
        work_ = std::make_unique<WorkThread>(QStringLiteral("printout"));
    work_->post(
        [this, printer, source, connection, first, last] {
            db::Connection c;
            c.setTimeouts(db::ConnectionTimeouts::longStatements());
            if (!c.open(connection)) {
                outcome_.ok = false;
                outcome_.error =
                    QStringLiteral("读取日志记录失败。\n") + db::failureDetail(c.lastError());
                return;
            }
            outcome_ = printLog(
                c, source, first, last, printer,
                [this](int pages) {
                    QMetaObject::invokeMethod(this,
                                              [this, pages] { ProgressBar1->setValue(pages); });
                },
                &cancel_);
        },
        this, [this] { printFinished(); });
}

void DialogPrint::printFinished()
{
    printing_ = false;
    printer_.reset();
    ProgressBar1->hide();
    emit printed();
    if (!outcome_.ok)
        ui::message(this, printFailedText(outcome_), ui::Icon::Exclamation);
    confirm();
}

void DialogPrint::Command_Preview_Click()
{
    int first = 0, last = 0;
    if (printing() || !pageRange(&first, &last))
        return;
    PrintTarget target{kPrintToPdf, {}};
    auto printer = makePrinter(target);
    QPrintPreviewDialog preview(printer.get(), this);
    preview.setObjectName(QStringLiteral("PrintPreview"));
    preview.setWindowTitle(QStringLiteral("打印预览"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* p) {
        db::Connection c;
        PrintOutcome o;
        if (!c.open(connection_)) {
            o.ok = false;
            o.error = db::failureDetail(c.lastError());
        } else {
            o = printLog(c, source_, first, last, p);
        }
        if (!o.ok)
            ui::message(&preview, printFailedText(o), ui::Icon::Exclamation);
    });
    preview.exec();
}

void DialogPrint::CancelButton_Click()
{
    // While printing, "取消" stops after the page in hand; the dialog closes when it has.
    if (printing()) {
        cancel_ = true;
        return;
    }
    cancel();
}

void DialogPrint::reject()
{
    CancelButton_Click();
}

} // namespace lt::overseer
