#pragma once
// The connection test of the toolbar key "测试连接": one probe statement per database, each on a
// worker of its own, so that a server that stalls leaves the window alive. The probes run one
// after the other; each outcome is reported in a message box as soon as it is in, then the next
// probe starts. While a test runs, a second one is refused (the key is off).

#include "overseer/core/dbworker.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

namespace lt::overseer
{

struct ConnectionProbe {
    QString connectionString; // empty: the connection is not open, the probe fails at once
    QString sql;
    QString failed;
    QString working;
};

class ConnectionTest : public QObject
{
    Q_OBJECT
public:
    ConnectionTest(QList<ConnectionProbe> probes, QWidget* window);
    ~ConnectionTest() override;
    void start();

signals:
    void finished();

private:
    void next();
    void answer(quint64 request, bool ok);

    QList<ConnectionProbe> probes_;
    QPointer<QWidget> window_;
    std::unique_ptr<DbChannel> channel_;
    quint64 request_ = 0;
    int current_ = -1;
};

} // namespace lt::overseer
