#include "common/windowdirectory.h"

#include "common/installation.h"
#include "common/processes.h"
#include "common/seqfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaMethod>
#include <QPointer>
#include <algorithm>

// A registration is one small JSON file in run/windows/, named after its id and written
// atomically: the owner's pid and process start time, the title, the visibility and the
// owner's request socket. The pid with its start time tells a live owner from a dead one (or
// from a later process that got the same pid); registrations of dead owners are removed by
// whoever comes across them.
//
// Requests travel as one JSON line {"op", "id", "arg"} over the owner's local socket; the owner
// carries the request out and answers "ok" (or "unknown" when the window is gone).

namespace lt::win
{

namespace
{

struct Record {
    WindowInfo info;
    qint64 startTime = 0;
    QString socket;
    qint64 registeredAt = 0;
};

QString directory()
{
    return Installation::runDir() + QStringLiteral("/windows");
}

QString recordPath(const QString& id)
{
    return directory() + QLatin1Char('/') + id + ".json";
}

std::optional<Record> readRecord(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    if (o.isEmpty())
        return std::nullopt;
    Record r;
    r.info.id = o.value("id").toString();
    r.info.pid = o.value("pid").toInteger();
    r.info.title = o.value("title").toString();
    r.info.visible = o.value("visible").toBool();
    r.startTime = o.value("start").toInteger();
    r.socket = o.value("socket").toString();
    r.registeredAt = o.value("registered").toInteger();
    return r;
}

bool writeRecord(const Record& r)
{
    QDir().mkpath(directory());
    QJsonObject o;
    o.insert("id", r.info.id);
    o.insert("pid", r.info.pid);
    o.insert("start", r.startTime);
    o.insert("title", r.info.title);
    o.insert("visible", r.info.visible);
    o.insert("socket", r.socket);
    o.insert("registered", r.registeredAt);
    // Replaced whole, so a reader never sees half a record; kept off the disk's flush, since
    // a record only describes a window of a running process (a window shown or hidden waits
    // for it).
    return replaceFile(recordPath(r.info.id), QJsonDocument(o).toJson(QJsonDocument::Compact),
                       std::nullopt, ReplacingFile::Durability::Memory);
}

bool ownerAlive(const Record& r)
{
    return r.startTime != 0 && proc::processStartTime(r.info.pid) == r.startTime;
}

QString socketPathFor(qint64 pid, qint64 startTime);

// A record whose owner is gone: remove it and the owner's socket file. The socket is removed
// only where the owner's own name for it points (a record is a file anyone who can write the
// run directory may have written: it must not name what gets deleted).
void removeStale(const QString& path, const Record& r)
{
    QFile::remove(path);
    if (!r.socket.isEmpty() && r.socket == socketPathFor(r.info.pid, r.startTime))
        QFile::remove(r.socket);
}

QList<Record> liveRecords()
{
    QList<Record> live;
    const QDir dir(directory());
    const QStringList names = dir.entryList({QStringLiteral("*.json")}, QDir::Files);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        const std::optional<Record> r = readRecord(path);
        if (!r)
            continue; // being written, or not ours
        if (ownerAlive(*r))
            live.append(*r);
        else
            removeStale(path, *r);
    }
    std::sort(live.begin(), live.end(), [](const Record& a, const Record& b) {
        return a.registeredAt != b.registeredAt ? a.registeredAt < b.registeredAt
                                                : a.info.id < b.info.id;
    });
    return live;
}

std::optional<Record> liveRecord(const QString& id)
{
    if (id.isEmpty() || id.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString path = recordPath(id);
    const std::optional<Record> r = readRecord(path);
    if (!r)
        return std::nullopt;
    if (!ownerAlive(*r)) {
        removeStale(path, *r);
        return std::nullopt;
    }
    return r;
}

qint64 ownStartTime()
{
    static const qint64 start = proc::processStartTime(QCoreApplication::applicationPid());
    return start;
}

// Unix socket paths are short (108 bytes); a deep installation falls back to the temp dir.
QString socketPathFor(qint64 pid, qint64 startTime)
{
    const QString name = QStringLiteral("%1-%2.sock").arg(pid).arg(startTime);
    const QString inRun = directory() + QLatin1Char('/') + name;
    if (QFile::encodeName(inRun).size() < 100)
        return inRun;
    const QByteArray key = QFile::encodeName(Installation::runDir());
    return QDir::tempPath() + QStringLiteral("/lantrove-%1-").arg(qHash(key), 0, 16) + name;
}

} // namespace

// The process's side of the requests: the registrations of this process and the socket their
// requests arrive on. Lives in the main thread from the first registration to the end.
struct RequestRouter : QObject {
    QLocalServer server;
    QString socketPath;
    QHash<QString, QPointer<Registration>> registrations;

    // The router of this process; created on the first registration only.
    static RequestRouter* instance(bool create = false)
    {
        static QPointer<RequestRouter> router;
        if (!router && create && QCoreApplication::instance()) {
            router = new RequestRouter;
            router->setParent(QCoreApplication::instance());
        }
        return router;
    }

    RequestRouter()
    {
        QDir().mkpath(directory());
        socketPath = socketPathFor(QCoreApplication::applicationPid(), ownStartTime());
        QLocalServer::removeServer(socketPath);
        server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!server.listen(socketPath))
            socketPath.clear();
        connect(&server, &QLocalServer::newConnection, this, &RequestRouter::accept);
    }

    ~RequestRouter() override
    {
        server.close();
        QLocalServer::removeServer(socketPath);
    }

    void accept()
    {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
            if (socket->canReadLine())
                serve(socket);
        }
    }

    void serve(QLocalSocket* socket)
    {
        if (!socket->canReadLine())
            return;
        const QJsonObject o = QJsonDocument::fromJson(socket->readLine()).object();
        const bool done =
            deliver(o.value("id").toString(), o.value("op").toString(), o.value("arg").toString());
        socket->write(done ? "ok\n" : "unknown\n");
        socket->flush();
    }

    bool deliver(const QString& id, const QString& op, const QString& arg)
    {
        QPointer<Registration> r = registrations.value(id);
        return r && r->deliver(op, arg);
    }

    bool owns(const QString& id) const { return registrations.value(id) != nullptr; }
};

namespace
{

bool request(const QString& id, const QString& op, const QString& arg)
{
    RequestRouter* router = RequestRouter::instance();
    if (router && router->owns(id))
        return router->deliver(id, op, arg);
    const std::optional<Record> r = liveRecord(id);
    if (!r || r->socket.isEmpty())
        return false;

    QLocalSocket socket;
    socket.connectToServer(r->socket);
    if (!socket.waitForConnected(kRequestTimeoutMs))
        return false;
    QJsonObject o;
    o.insert("id", id);
    o.insert("op", op);
    o.insert("arg", arg);
    socket.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = kRequestTimeoutMs - clock.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(int(left)))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

} // namespace

QList<WindowInfo> windows()
{
    QList<WindowInfo> list;
    for (const Record& r : liveRecords())
        list.append(r.info);
    return list;
}

std::optional<WindowInfo> findWindow(const QString& title)
{
    const QList<Record> live = liveRecords();
    // The newest of several windows with the same title, as the top of the window stack would be.
    for (auto it = live.crbegin(); it != live.crend(); ++it) {
        if (it->info.title == title)
            return it->info;
    }
    return std::nullopt;
}

bool setTitle(const QString& windowId, const QString& title)
{
    return request(windowId, QStringLiteral("title"), title);
}

bool setVisible(const QString& windowId, bool visible)
{
    return request(windowId, visible ? QStringLiteral("show") : QStringLiteral("hide"), {});
}

bool close(const QString& windowId)
{
    return request(windowId, QStringLiteral("close"), {});
}

struct Registration::Private {
    Record record;
    void save() const { writeRecord(record); }
};

Registration::Registration(const QString& title, bool visible, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    static int counter = 0;
    const qint64 pid = QCoreApplication::applicationPid();
    Record& r = d->record;
    r.info.id = QStringLiteral("%1-%2-%3").arg(pid).arg(ownStartTime()).arg(++counter);
    r.info.pid = pid;
    r.info.title = title;
    r.info.visible = visible;
    r.startTime = ownStartTime();
    r.registeredAt = QDateTime::currentMSecsSinceEpoch();
    if (RequestRouter* router = RequestRouter::instance(true)) {
        r.socket = router->socketPath;
        router->registrations.insert(r.info.id, this);
    }
    d->save();
}

Registration::~Registration()
{
    if (RequestRouter* router = RequestRouter::instance())
        router->registrations.remove(d->record.info.id);
    QFile::remove(recordPath(d->record.info.id));
}

QString Registration::id() const
{
    return d->record.info.id;
}
QString Registration::title() const
{
    return d->record.info.title;
}
bool Registration::isVisible() const
{
    return d->record.info.visible;
}

void Registration::setTitle(const QString& title)
{
    if (title == d->record.info.title)
        return;
    d->record.info.title = title;
    d->save();
}

void Registration::setVisible(bool visible)
{
    if (visible == d->record.info.visible)
        return;
    d->record.info.visible = visible;
    d->save();
}

bool Registration::deliver(const QString& op, const QString& argument)
{
    if (op == QLatin1String("title")) {
        if (isSignalConnected(QMetaMethod::fromSignal(&Registration::titleRequested)))
            emit titleRequested(argument);
        else
            setTitle(argument);
        return true;
    }
    if (op == QLatin1String("show") || op == QLatin1String("hide")) {
        const bool visible = op == QLatin1String("show");
        if (isSignalConnected(QMetaMethod::fromSignal(&Registration::visibilityRequested)))
            emit visibilityRequested(visible);
        else
            setVisible(visible);
        return true;
    }
    if (op == QLatin1String("close")) {
        emit closeRequested();
        return true;
    }
    return false;
}

} // namespace lt::win
