#include "provisioner/formmain.h"

#include "common/netinfo.h"
#include "common/widgets/messages.h"
#include "provisioner/blackexport.h"
#include "provisioner/dialogdl.h"
#include "provisioner/dialogst.h"
#include "provisioner/dialogwk.h"
#include "provisioner/operations.h"
#include "provisioner/texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>

namespace lt::prov
{

namespace
{

// The window's way of reporting: the status bar, the hourglass and message boxes.
class WindowReporter : public Reporter
{
public:
    explicit WindowReporter(FormMain& window) : window_(window) {}
    void status(const QString& text) override
    {
        window_.statusBar()->showMessage(text);
        window_.statusBar()->repaint();
    }
    void busy(bool on) override
    {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    void notice(const QString& text) override
    {
        ui::message(&window_, text, ui::Icon::Exclamation);
    }
    // The first line of the reason stays in the status bar for whoever wants to know more.
    void detail(const QString& text) override
    {
        window_.statusBar()->showMessage(text.section(u'\n', 0, 0));
    }
    bool confirm(const QString& question) override
    {
        return ui::message(&window_, question, ui::Icon::Exclamation, ui::Buttons::YesNo,
                           ui::Answer::No) == ui::Answer::Yes;
    }

private:
    FormMain& window_;
};

QPushButton* button(QWidget* parent, const QString& caption, const char* name)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setMinimumWidth(96);
    return b;
}

} // namespace

FormMain::FormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(text::kMainCaption);
    auto* background = new QWidget(this);
    background->setObjectName(QStringLiteral("Background"));
    setCentralWidget(background);
    background->installEventFilter(this);

    Frame1 = new QGroupBox(text::kAddressFrame, background);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Text1 = addressBox("Text1");
    Text2 = addressBox("Text2");
    Text3 = addressBox("Text3");
    Text4 = addressBox("Text4");
    auto* address = new QHBoxLayout(Frame1);
    address->setSpacing(2);
    address->addStretch();
    for (QLineEdit* box : {Text1, Text2, Text3, Text4}) {
        if (box != Text1)
            address->addWidget(new QLabel(text::kAddressDot, Frame1));
        address->addWidget(box);
    }
    address->addStretch();

    Command1 = button(background, text::kRegister, "Command1");
    Command_Test = button(background, text::kTest, "Command_Test");
    Command_Init = button(background, text::kInitialise, "Command_Init");
    Command2 = button(background, text::kChooseAdapter, "Command2");
    Command_Close = button(background, text::kClose, "Command_Close");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {Command1, Command_Test, Command_Init, Command2, Command_Close})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(background);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    layout->addStretch();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(false);

    connect(Command1, &QPushButton::clicked, this, [this] { registerDataSources(); });
    connect(Command_Test, &QPushButton::clicked, this, [this] { testConnections(); });
    connect(Command_Init, &QPushButton::clicked, this, [this] { showInitialisation(); });
    connect(Command2, &QPushButton::clicked, this, [this] { showAdapters(); });
    connect(Command_Close, &QPushButton::clicked, this, &QWidget::close);
}

FormMain::~FormMain() = default;

QLineEdit* FormMain::addressBox(const char* name)
{
    auto* box = new QLineEdit(QStringLiteral("0"), Frame1);
    box->setObjectName(QString::fromLatin1(name));
    box->setMaxLength(3);
    box->setAlignment(Qt::AlignCenter);
    box->setFixedWidth(56);
    connect(box, &QLineEdit::textChanged, box, [box](const QString& typed) {
        const QString kept = addressPartAfterChange(typed);
        if (kept != typed)
            box->setText(kept);
    });
    return box;
}

void FormMain::start()
{
    databases();
    applyStartState(startUp());
}

void FormMain::applyStartState(const StartState& state)
{
    if (!state.addressRegistered)
        return;
    const std::array<QLineEdit*, 4> boxes = {Text1, Text2, Text3, Text4};
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(state.boxes[i]);
}

AddressParts FormMain::addressParts() const
{
    return {Text1->text(), Text2->text(), Text3->text(), Text4->text()};
}

Databases& FormMain::databases()
{
    if (!dbs_)
        dbs_ = std::make_unique<Databases>();
    return *dbs_;
}

void FormMain::registerDataSources()
{
    const Registration result = registerServer(addressParts());
    if (result.emptyPart >= 0) {
        ui::message(this, text::kAddressPartEmpty);
        const std::array<QLineEdit*, 4> boxes = {Text1, Text2, Text3, Text4};
        boxes[size_t(result.emptyPart)]->setFocus();
        return;
    }
    if (result.written)
        ui::message(this, text::kRegistered);
    else
        ui::message(this, text::kRegisterFailed, ui::Icon::Exclamation);
    QCoreApplication::processEvents();
}

void FormMain::testConnections()
{
    WindowReporter reporter(*this);
    prov::testConnections(databases(), reporter);
}

void FormMain::showInitialisation()
{
    DialogSt dialog([this] { 本地初始化数据库(); }, [this] { 异地初始化数据库(); }, this);
    dialog.exec();
}

void FormMain::showAdapters()
{
    DialogWK dialog(readAdapterBuffer, this);
    dialog.exec();
}

void FormMain::本地初始化数据库()
{
    WindowReporter reporter(*this);
    initialiseLogDatabase(databases(), reporter);
}

void FormMain::异地初始化数据库()
{
    WindowReporter reporter(*this);
    initialiseConfigDatabase(databases(), reporter, net::ownIPv4());
}

void FormMain::BlackTableToFile()
{
    if (!accessCodeAccepted(ui::inputBox(this, text::kAccessCodePrompt, {}, true)))
        return;
    const QString path = QDir::current().filePath(QStringLiteral("BlackName.dat"));
    const ExportResult result = exportMasterBlackList(databases().one, path);
    if (!result.read)
        ui::message(this, text::kExportFailed + u'\n' + result.error, ui::Icon::Exclamation);
    else if (!result.written)
        ui::message(this, text::kExportNotWritten.arg(path), ui::Icon::Exclamation);
    else if (!result.refused.isEmpty())
        ui::message(this, refusedMessage(result.refused), ui::Icon::Exclamation);
    else if (result.recordsWritten < result.records)
        ui::message(this, text::kExportTruncated.arg(result.records).arg(result.recordsWritten),
                    ui::Icon::Exclamation);
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const bool onBackground = !centralWidget()->childAt(press->position().toPoint());
        if (onBackground && isExportGesture(press->button(), press->modifiers())) {
            BlackTableToFile();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FormMain::closeEvent(QCloseEvent* event)
{
    dbs_.reset();
    QMainWindow::closeEvent(event);
}

int runProvisioner()
{
    DialogDL login;
    login.exec();
    if (!login.loginAccepted())
        return 0;
    FormMain window;
    window.start();
    window.show();
    return QApplication::exec();
}

} // namespace lt::prov
