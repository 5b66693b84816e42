#pragma once
// The cases of bench_log_speed: the installation with its seed copy, and each case run through
// the console's own code (the log stores, the statistics worker, the picker's statements) and,
// for comparison, the original statements through the bare client on the seed copy.

#include "overseer/query/logquery.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lt::bench
{

struct SpeedSetup {
    QString root;
    qint64 rows = 0;
    qint64 uploadRows = 0;
    double clientStartMs = 0; // the bare client's own start, taken off each bare run
    // Each page case run once unreported first, both sides: the figures of the second run,
    // with each side's pages in the server's memory (the seed copy doubles what it must hold).
    bool warm = false;
    int runs = 3; // each case, each side; the median is reported
    // Without the seed copy and the bare client's side (the scale runs): the cases of ours
    // only, and one pruning pass whose rows are not put back.
    bool bare = true;
};

// Lays out (or reuses) the installation under setup.root, starts its server, fills the log
// when it lacks the rows, copies it to the seed database, and upgrades the log database.
void prepareInstallation(SpeedSetup& setup);

class SpeedRun
{
public:
    explicit SpeedRun(SpeedSetup& setup) : setup_(setup) {}
    // The busiest and the rarest terminal, the busiest group.
    void pickValues();
    void logCode(const QString& code, bool rareTerminal);
    void titleWord(const QString& code, bool absentWord);
    void uploadCode(const QString& code);
    void statistics();
    void picker();
    void inserts();
    // The keeper's pruning pass down to a fifth of the log against the same DELETE on the seed
    // copy; the rows come back after each run.
    void prune();
    // Without the seed copy: one pass down to a fifth, the rows not put back (run it last).
    void pruneOnce();
    // The bare client's side, after every case of ours: the two never share the server's
    // memory at the same time, so neither evicts the other's pages mid-case.
    void runBare();
    void printComparison() const;

private:
    struct Compared {
        QString name;
        double ours = 0;
        QString bareSql;  // the original statements on the seed copy; empty: none
        double bare = -1; // seconds; negative: not run
    };
    overseer::LogQueryState state(const QString& code) const;
    void pages(const QString& name, bool upload, const QString& code,
               const overseer::LogQueryState& s);
    void print(const QString& name, double seconds, const QString& bareSql = {});

    SpeedSetup& setup_;
    QString busyIp_, busyName_, rareIp_, team_;
    QList<Compared> compared_;
    bool warming_ = false;
};

} // namespace lt::bench
