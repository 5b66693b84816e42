#include "provisioner/formmain.h"

#include "common/datasources.h"
#include "common/dbmessages.h"
#include "common/netinfo.h"
#include "common/widgets/messages.h"
#include "provisioner/background.h"
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
#include <QRegularExpressionValidator>
#include <QStatusBar>

namespace lt::prov
{

// The window's way of reporting: the status bar, the hourglass and message boxes. A failure's
// text (what failed, then the reason in Chinese) stays in the status bar at the end of the work
// that failed, until the next piece of work or a registration; the driver's words behind the
// reason are the status bar's tool tip.
class WindowReporter : public Reporter
{
public:
    explicit WindowReporter(FormMain& window) : window_(window) {}
    void status(const QString& text) override { window_.statusBar()->showMessage(text); }
    void busy(bool on) override
    {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    void notice(const QString& text) override
    {
        lastNotice_ = text;
        ui::message(&window_, text, ui::Icon::Exclamation);
    }
    void detail(const QString& text) override
    {
        const db::MessageParts parts = db::splitDriverWords(text);
        const QString reason = parts.text.section(u'\n', 0, 0);
        failure_ =
            reason.isEmpty() ? lastNotice_ : text::kFailureWithReason.arg(lastNotice_, reason);
        window_.statusBar()->setToolTip(parts.detail);
        window_.statusBar()->showMessage(failure_);
    }
    bool confirm(const QString& question) override
    {
        return ui::message(&window_, question, ui::Icon::Exclamation, ui::Buttons::YesNo,
                           ui::Answer::No) == ui::Answer::Yes;
    }
    void beginWork()
    {
        failure_.clear();
        lastNotice_.clear();
        window_.statusBar()->setToolTip({});
    }
    void endWork()
    {
        if (!failure_.isEmpty())
            window_.statusBar()->showMessage(failure_);
    }
    void clearFailure()
    {
        failure_.clear();
        window_.statusBar()->clearMessage();
        window_.statusBar()->setToolTip({});
    }

private:
    FormMain& window_;
    QString lastNotice_;
    QString failure_;
};

namespace
{

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
    Text_端口 = new QLineEdit(dsn::kRemotePort, Frame1);
    Text_端口->setObjectName(QStringLiteral("Text_端口"));
    Text_端口->setMaxLength(5);
    Text_端口->setAlignment(Qt::AlignCenter);
    Text_端口->setFixedWidth(64);
    Text_端口->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Text_端口));
    auto* address = new QHBoxLayout(Frame1);
    address->setSpacing(2);
    address->addStretch();
    for (QLineEdit* box : {Text1, Text2, Text3, Text4}) {
        if (box != Text1)
            address->addWidget(new QLabel(text::kAddressDot, Frame1));
        address->addWidget(box);
    }
    address->addSpacing(12);
    address->addWidget(new QLabel(text::kPortLabel, Frame1));
    address->addWidget(Text_端口);
    address->addStretch();

    Command1 = button(background, text::kRegister, "Command1");
    Command_Test = button(background, text::kTest, "Command_Test");
    Command_Init = button(background, text::kInitialise, "Command_Init");
    Command_Upgrade = button(background, text::kUpgrade, "Command_Upgrade");
    Command2 = button(background, text::kChooseAdapter, "Command2");
    Command_Close = button(background, text::kClose, "Command_Close");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {Command1, Command_Test, Command_Init, Command_Upgrade, Command2, Command_Close})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(background);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    layout->addStretch();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(false);

    reporter_ = std::make_unique<WindowReporter>(*this);
    work_ = new BackgroundWork(*reporter_, this);
    connect(work_, &BackgroundWork::finished, this, [this] { databaseWorkFinished(); });

    connect(Command1, &QPushButton::clicked, this, [this] { registerDataSources(); });
    connect(Command_Test, &QPushButton::clicked, this, [this] { testConnections(); });
    connect(Command_Init, &QPushButton::clicked, this, [this] { showInitialisation(); });
    connect(Command_Upgrade, &QPushButton::clicked, this, [this] { upgradeDatabase(); });
    connect(Command2, &QPushButton::clicked, this, [this] { showAdapters(); });
    connect(Command_Close, &QPushButton::clicked, this, &QWidget::close);
}

FormMain::~FormMain()
{
    delete work_; // waits for work still running, which uses the reporter and the databases
    work_ = nullptr;
}

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
    Text_端口->setText(state.port);
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
    const Registration result = registerServer(addressParts(), Text_端口->text());
    if (result.emptyPart >= 0) {
        ui::message(this, text::kAddressPartEmpty);
        const std::array<QLineEdit*, 4> boxes = {Text1, Text2, Text3, Text4};
        boxes[size_t(result.emptyPart)]->setFocus();
        return;
    }
    if (result.badPort) {
        ui::message(this, text::kBadPort, ui::Icon::Exclamation);
        Text_端口->setFocus();
        return;
    }
    if (result.written) {
        reporter_->clearFailure();
        ui::message(this, text::kRegistered);
    } else {
        ui::message(this, text::kRegisterFailed, ui::Icon::Exclamation);
    }
}

bool FormMain::databaseWorkRunning() const
{
    return work_ && work_->running();
}

void FormMain::startDatabaseWork(std::function<void(Reporter&)> work)
{
    if (databaseWorkRunning())
        return;
    databases(); // made here: the work only uses them
    reporter_->beginWork();
    for (QPushButton* b : {Command1, Command_Test, Command_Init, Command_Upgrade})
        b->setEnabled(false);
    work_->start(std::move(work));
}

void FormMain::databaseWorkFinished()
{
    for (QPushButton* b : {Command1, Command_Test, Command_Init, Command_Upgrade})
        b->setEnabled(true);
    reporter_->endWork();
    emit finished();
    if (closeWhenDone_)
        close();
}

void FormMain::testConnections()
{
    startDatabaseWork([this](Reporter& reporter) { prov::testConnections(*dbs_, reporter); });
}

void FormMain::showInitialisation()
{
    bool log = false;
    bool config = false;
    DialogSt dialog([&] { log = true; }, [&] { config = true; }, this);
    dialog.exec();
    if (log || config)
        runInitialisation(log, config);
}

void FormMain::runInitialisation(bool log, bool config)
{
    const QString ownIp = net::ownIPv4();
    startDatabaseWork([this, log, config, ownIp](Reporter& reporter) {
        if (log)
            initialiseLogDatabase(*dbs_, reporter);
        if (config)
            initialiseConfigDatabase(*dbs_, reporter, ownIp);
    });
}

void FormMain::upgradeDatabase()
{
    if (databaseWorkRunning() || !reporter_->confirm(text::kUpgradeQuestion))
        return;
    startDatabaseWork([](Reporter& reporter) { upgradeLogDatabase(reporter); });
}

void FormMain::showAdapters()
{
    DialogWK dialog(readAdapterBuffer, this);
    dialog.exec();
}

void FormMain::本地初始化数据库()
{
    runInitialisation(true, false);
}

void FormMain::异地初始化数据库()
{
    runInitialisation(false, true);
}

void FormMain::BlackTableToFile()
{
    if (databaseWorkRunning())
        return;
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
    if (databaseWorkRunning()) {
        // The connections are in use: the window closes when the work is over.
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
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
