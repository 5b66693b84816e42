#pragma once
// The provisioner's main window: the server address, data source registration, the connection
// test, the initialisation and adapter dialogs, and the hidden black list export.

#include "provisioner/address.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace lt::prov
{

class BackgroundWork;
class Reporter;
struct Databases;
struct StartState;
class WindowReporter;

class FormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit FormMain(QWidget* parent = nullptr);
    ~FormMain() override;

    // After the login: the database objects, the server mode and the address registered before.
    void start();
    void applyStartState(const StartState& state);
    AddressParts addressParts() const;

    // The buttons' procedures. The connection test and the initialisations run beside the
    // window (see BackgroundWork); while one runs, the buttons that would start another are
    // disabled and finished() follows its end.
    void registerDataSources(); // Command1
    void testConnections();     // Command_Test
    void showInitialisation();  // Command_Init
    void showAdapters();        // Command2
    void upgradeDatabase();     // Command_Upgrade
    void 本地初始化数据库();
    void 异地初始化数据库();
    void BlackTableToFile();
    bool databaseWorkRunning() const;

    QGroupBox* Frame1;
    QLineEdit* Text1;
    QLineEdit* Text2;
    QLineEdit* Text3;
    QLineEdit* Text4;
    QLineEdit* Text_端口; // the port of a server elsewhere; the local server has its own
    QPushButton* Command1;
    QPushButton* Command_Test;
    QPushButton* Command_Init;
    QPushButton* Command_Upgrade;
    QPushButton* Command2;
    QPushButton* Command_Close;

signals:
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* addressBox(const char* name);
    Databases& databases();
    void runInitialisation(bool log, bool config);
    void startDatabaseWork(std::function<void(Reporter&)> work);
    void databaseWorkFinished();
    std::unique_ptr<Databases> dbs_;
    std::unique_ptr<WindowReporter> reporter_;
    BackgroundWork* work_ = nullptr;
    bool closeWhenDone_ = false;
};

// The provisioner's start: the login, then the main window until it is closed.
int runProvisioner();

} // namespace lt::prov
