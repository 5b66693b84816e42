// The printouts in the real main window against the test server, written to PDF files on the
// offscreen platform and read back with pdftotext: the print preview of 21 records a page, the
// print dialog's page range check, the browse-log and upload-log printouts in order with their
// columns aligned, the upload record's printout, the printed-pages preview, the printer choice
// without a printer, and a printer that fails.

#include "common/clock.h"
#include "common/datasources.h"
#include "overseer/core/dialogms.h"
#include "overseer/core/formmain.h"
#include "overseer/program.h"
#include "overseer/query/conditiondialogs.h"
#include "overseer/query/dialogpt.h"
#include "overseer/query/logviews.h"
#include "overseer/query/printpreview.h"
#include "overseer/query/statsbinding.h"
#include "tests/overseer/consoletest.h"
#include "tests/support/logfill.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeView>

using namespace lt;
using namespace lt::overseer;

namespace
{

const QDateTime kNow(QDate(2026, 12, 7), QTime(15, 0));

// n browse-log rows of today, one second apart, newest "PC0"; every third has a Chinese name.
void fillToday(int n)
{
    QList<logrows::LogRow> rows;
    for (int i = 0; i < n; ++i) {
        const QString name =
            i % 3 == 0 ? QStringLiteral("机房终端%1").arg(i) : QStringLiteral("PC%1").arg(i);
        rows.append({name, QStringLiteral("10.0.1.%1").arg(i % 200), acTime(kNow.addSecs(-i)),
                     "教学组", QStringLiteral("标题%1").arg(i),
                     QStringLiteral("www.a.cn/%1").arg(i), "新闻", "放行", 1});
    }
    test::fillRows(rows);
}

// A text as pdftotext gives it back: the characters printed, runs of blanks as one.
QString asExtracted(const QString& text)
{
    return QString(text).replace(QRegularExpression(" +"), " ");
}

QString pdfText(const QString& path, const QStringList& options = {"-layout"})
{
    QProcess p;
    p.start("pdftotext", options + QStringList{path, "-"});
    if (!p.waitForFinished(60000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).replace(QRegularExpression(" +"), " ");
}

// The left edges of the words of a PDF that start with `prefix`, in points.
QList<double> wordEdges(const QString& path, const QString& prefix)
{
    const QString boxes = pdfText(path, {"-bbox"});
    static const QRegularExpression word(R"re(<word xMin="([0-9.]+)"[^>]*>([^<]*)</word>)re");
    QList<double> edges;
    for (auto it = word.globalMatch(boxes); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(2).startsWith(asExtracted(prefix)))
            edges << m.captured(1).toDouble();
    }
    return edges;
}

// The indexes of the texts in order in the text; -1 from the first one missing.
bool inOrder(const QString& text, const QStringList& parts)
{
    qsizetype at = 0;
    for (const QString& expected : parts) {
        const QString part = asExtracted(expected);
        at = text.indexOf(part, at);
        if (at < 0) {
            qWarning("missing or out of order: %s in\n%s", qPrintable(part),
                     qPrintable(text.left(3000)));
            return false;
        }
        at += part.size();
    }
    return true;
}

using test::on;

test::ModalScript::Step todayOnly()
{
    return on<DialogFS>([](DialogFS& d) {
        QCOMPARE(d.windowTitle(), "日志打印条件");
        QCOMPARE(d.Frame1->title(), "打印条件");
        d.Option1->setChecked(true);
        d.OKButton->click();
    });
}

} // namespace

class Printing : public QObject
{
    Q_OBJECT
    test::TestInstallation install_;
    QTemporaryDir out_;
    std::unique_ptr<FormMain> form_;
    QStringList chosen_; // the suggestions the PDF chooser was given
    QString pdfPath_;

    bool settle(LogStore* store)
    {
        return test::waitFor(
            [&] { return store && !store->pageRequestOut() && !store->counting(); }, 20000);
    }
    void preview(int records)
    {
        fillToday(records);
        test::ModalScript script({todayOnly()});
        QVERIFY(form_->runMenuItem(item::查看_打印预览));
        QCOMPARE(script.stepsRun(), 1);
        QVERIFY(settle(printPreviewView(*form_)->store()));
    }
    // Runs the print dialog of the key or item with the given steps on it.
    void printWith(const std::function<void()>& open, const QString& first, const QString& last,
                   QStringList* messages = nullptr)
    {
        test::MessageLog log;
        test::ModalScript script({on<DialogPrint>([&](DialogPrint& d) {
            d.Text_起始->setText(first);
            d.Text_终止->setText(last);
            d.Combo_打印机->setCurrentText(kPrintToPdf);
            d.OKButton->click();
        })});
        open();
        QCOMPARE(script.stepsRun(), 1);
        if (messages)
            *messages = log.texts();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(out_.isValid());
        QVERIFY2(install_.useFreshDatabases(), "the private test server does not answer");
        Clock::setNow(kNow);
        setPdfFileChooser([this](QWidget*, const QString& suggested) {
            chosen_ << suggested;
            return pdfPath_;
        });
    }

    void init()
    {
        form_ = std::make_unique<FormMain>();
        QVERIFY(test::connectConsole(form_->context()));
        fillDispatch(*form_);
        form_->EndConsole = [] {};
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        chosen_.clear();
    }
    void cleanup() { form_.reset(); }

    void previewOf21Records()
    {
        preview(43);
        QCOMPARE(form_->CurrentView, "日志打印预览");
        QCOMPARE(test::title(*form_)->text(), "日    志   打   印   预   览");
        QCOMPARE(form_->context().PageSize, 21);
        QCOMPARE(form_->panel(1)->text(), "共 43 条记录");
        QCOMPARE(form_->panel(2)->text(), "共 3 页");
        QCOMPARE(form_->panel(4)->text(), "本页 21 条");
        QCOMPARE(test::list(*form_)->model()->headerData(7, Qt::Horizontal).toString(), "结果");
        QCOMPARE(test::list(*form_)->model()->index(0, 0).data().toString(), "机房终端0");
        QVERIFY(form_->toolbarKey(key::日志打印)->isEnabled());
        form_->runPaging(paging::尾页);
        QVERIFY(settle(printPreviewView(*form_)->store()));
        QCOMPARE(form_->panel(4)->text(), "本页 1 条");
    }

    void emptyPreviewLeavesPrintingOff()
    {
        preview(0);
        QCOMPARE(test::list(*form_)->model()->rowCount(), 0);
        QVERIFY(!form_->toolbarKey(key::日志打印)->isEnabled());
    }

    void pageRangeRefused()
    {
        preview(43);
        test::MessageLog messages;
        QStringList seen;
        test::ModalScript script({on<DialogPt>([&](DialogPt& d) {
            QCOMPARE(d.windowTitle(), "打印参数");
            QCOMPARE(d.Label_页数->text(), "页  数：3 页");
            QCOMPARE(d.Text_起始->text(), "1");
            QCOMPARE(d.Text_终止->text(), "3");
            for (const auto& [first, last] :
                 QList<QPair<QString, QString>>{{"0", "2"}, {"1", "4"}, {"3", "2"}, {"", "2"}}) {
                d.Text_起始->setText(first);
                d.Text_终止->setText(last);
                d.OKButton->click();
                QVERIFY(d.isVisible());
            }
            seen = messages.texts();
            d.CancelButton->click();
        })});
        form_->toolbarKey(key::日志打印)->trigger();
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(seen, QStringList(3, "打印页设置不对"));
        QCOMPARE(messages.requests.first().icon, ui::Icon::Exclamation);
        QVERIFY(chosen_.isEmpty());
    }

    // Pages 2 and 3 of 43 records: records 22 to 43 newest first, the footers, the columns.
    void browseLogToPdf()
    {
        preview(43);
        pdfPath_ = out_.filePath("browse.pdf");
        QStringList messages;
        printWith([&] { form_->toolbarKey(key::日志打印)->trigger(); }, "2", "3", &messages);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(chosen_.size(), 1);
        const QString text = pdfText(pdfPath_);
        QVERIFY(inOrder(text, {"上网终端访问日志", "终端：机房终端21", "标题：标题21",
                               "域名：www.a.cn/21", "终端：PC22", "第 2 页", "上网终端访问日志",
                               "终端：机房终端42", "第 3 页"}));
        QVERIFY(!text.contains("终端：PC20 "));
        QVERIFY(!text.contains("终端：PC43"));
        // The address, time and group start at the same place whatever the terminal's name.
        for (const char* field : {"地址：", "时间：", "组别：", "结果："}) {
            const QList<double> edges = wordEdges(pdfPath_, QString::fromUtf8(field));
            QCOMPARE(edges.size(), 22);
            const auto [low, high] = std::minmax_element(edges.begin(), edges.end());
            QVERIFY2(*high - *low < 0.5, field);
        }
        // Each field starts at its byte column: the address 24 columns after the terminal.
        const double column =
            (wordEdges(pdfPath_, "时间：").first() - wordEdges(pdfPath_, "地址：").first()) / 24;
        QVERIFY(column > 0);
        QVERIFY(std::abs(wordEdges(pdfPath_, "地址：").first() -
                         wordEdges(pdfPath_, "终端：机房").first() - 24 * column) < 0.5);
    }

    void uploadLogToPdf()
    {
        test::fillRows(QList<logrows::UploadRow>{
            {"pc1", "10.0.0.1", "mail.a.cn", acTime(kNow), "第一行\r\n第二行"},
            {"pc2", "10.0.0.2", "mail.b.cn", acTime(kNow.addSecs(-5)), "内容二"}});
        test::ModalScript show({[](QWidget* modal) {
            auto* d = qobject_cast<DialogFS*>(modal);
            QVERIFY(d);
            d->Option1->setChecked(true);
            d->OKButton->click();
        }});
        form_->toolbarKey(key::上传数据)->trigger();
        LogStore* store = uploadLogView(*form_)->store();
        QVERIFY(settle(store));
        pdfPath_ = out_.filePath("upload.pdf");
        QStringList messages;
        printWith([&] { form_->runMenuItem(item::上传_打印); }, "1", "1", &messages);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        const QString text = pdfText(pdfPath_);
        QVERIFY(
            inOrder(text, {"上网终端上传日志", "发地址：10.0.0.1终端：pc1时间：26-12-07 15:00:00",
                           "收地址：mail.a.cn", "内 容：第一行 第二行", "发地址：10.0.0.2",
                           "内 容：内容二", "第 1 页"}));
    }

    void uploadRecordToPdf()
    {
        if (!installedPrinters().isEmpty())
            QSKIP("a printer is installed: the record goes to it");
        DialogMS& d = form_->context().dialog<DialogMS>();
        const QString content = QString(55, 'a') + "\n" + QString(54, 'b') + QString(10, 'c');
        d.setRecord("pc1", "10.0.0.1", "26-12-07 15:00:00", "mail.a.cn", content);
        QVERIFY(d.Command_Print->isEnabled());
        pdfPath_ = out_.filePath("record.pdf");
        test::MessageLog messages;
        d.Command_Print->click();
        QVERIFY(messages.texts().isEmpty());
        const QString text = pdfText(pdfPath_);
        QVERIFY(inOrder(text, {"终端上传数据", "发地址：10.0.0.1终端：pc1时间：26-12-07 15:00:00",
                               "收地址：mail.a.cn", QString(55, 'a'), QString(54, 'b'),
                               QString(10, 'c')}));
        form_->context().unload(&d);
    }

    void noPrinterOnlyPdf()
    {
        preview(5);
        QStringList items;
        QString note;
        bool noteShown = false;
        test::ModalScript script({on<DialogPt>([&](DialogPt& d) {
            for (int i = 0; i < d.Combo_打印机->count(); ++i)
                items << d.Combo_打印机->itemText(i);
            note = d.Label_打印机->text();
            noteShown = d.Label_打印机->isVisible();
            d.CancelButton->click();
        })});
        form_->toolbarKey(key::日志打印)->trigger();
        QCOMPARE(script.stepsRun(), 1);
        QCOMPARE(items.last(), kPrintToPdf);
        if (installedPrinters().isEmpty()) {
            QCOMPARE(items.size(), 1);
            QCOMPARE(note, "本机没有安装打印机，只能打印到 PDF 文件。");
            QVERIFY(noteShown);
        }
    }

    // A PDF that cannot be written: the administrator is told, nothing claims success.
    void printerFailureIsTold()
    {
        preview(5);
        pdfPath_ = out_.filePath("missing/dir/x.pdf");
        QStringList messages;
        printWith([&] { form_->toolbarKey(key::日志打印)->trigger(); }, "1", "1", &messages);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().startsWith("打印失败，打印的内容可能不完整。"));
        QVERIFY(!QFile::exists(pdfPath_));
    }

    // The command line prints the records of the same range as the same pages.
    void commandLinePrintsTheSamePages()
    {
        preview(43);
        pdfPath_ = out_.filePath("dialog.pdf");
        QStringList messages;
        printWith([&] { form_->toolbarKey(key::日志打印)->trigger(); }, "1", "3", &messages);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        const QString day = kNow.date().toString("yy-MM-dd");
        const QString command = out_.filePath("command.pdf");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(display);
        p.setProcessEnvironment(env);
        p.start(install_.appDir() + "/overseer",
                {"--print-pdf", command, "--from", day + " 00:00:00", "--to", day + " 23:59:59"});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QString printed = pdfText(pdfPath_);
        QVERIFY(printed.contains("第 3 页"));
        QCOMPARE(pdfText(command), printed);
    }

    // "预览": the printed pages of the range in Qt's print preview.
    void printedPagesPreview()
    {
        preview(43);
        int pages = -1;
        test::ModalScript script(
            {on<DialogPt>([&](DialogPt& d) {
                 d.Text_起始->setText("1");
                 d.Text_终止->setText("2");
                 // Later: the script does not run its next step while this one is running.
                 QTimer::singleShot(0, d.Command_Preview, &QPushButton::click);
             }),
             [&](QWidget* modal) {
                 auto* p = qobject_cast<QPrintPreviewDialog*>(modal);
                 QVERIFY(p);
                 auto* widget = p->findChild<QPrintPreviewWidget*>();
                 QVERIFY(widget);
                 QVERIFY(test::waitFor([&] { return widget->pageCount() > 0; }));
                 pages = widget->pageCount();
                 p->reject();
                 QTimer::singleShot(0, [] {
                     if (auto* d = qobject_cast<DialogPt*>(QApplication::activeModalWidget()))
                         d->CancelButton->click();
                 });
             }});
        form_->toolbarKey(key::日志打印)->trigger();
        QCOMPARE(script.stepsRun(), 2);
        QCOMPARE(pages, 2);
    }
};

QTEST_MAIN(Printing)
#include "test_printing.moc"
