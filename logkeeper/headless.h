#pragma once
// The keeper without a window, as the system service lantrove-keeper runs it: the same Keeper
// (the pruning at 03:00, the module watchdog, the database checks), with the keeper's window
// title registered in the window directory so that a console started meanwhile finds the
// keeper and starts no second one. What the window would show goes to standard output, one
// line per event, which the service's journal keeps: the database state when it changes, each
// pass, each module started (or left to its service, said once).

#include "logkeeper/keeper.h"

#include <QObject>
#include <QSet>

class QTextStream;

namespace lt::keeper
{

class HeadlessReporter : public QObject
{
    Q_OBJECT
public:
    HeadlessReporter(Keeper& keeper, QTextStream& out, QObject* parent = nullptr);

    void databaseChanged();
    void passFinished();
    void watchdogTicked();

private:
    void say(const QString& text);
    Keeper& keeper_;
    QTextStream& out_;
    QString lastDatabase_;
    QSet<QString> announcedServices_;
    bool skipAnnounced_ = false;
};

// The command line's --headless: runs until the process is ended (SIGTERM or SIGINT end it
// cleanly). Returns the exit code; 0 when another keeper already runs.
int runHeadless();

} // namespace lt::keeper
