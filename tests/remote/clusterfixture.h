#pragma once
// A Galera cluster of the test's own (scripts/cluster.sh in a temporary directory) and the data
// sources of three installations on it: installation N names node N first and the next nodes
// round after it, so that its programs go on through the next node when theirs is gone. The test
// process's own data sources (LocalLogTable, RemoteAcTable) are installation 3's; those of
// installations 1 and 2 are registered beside them under names of their own.

#include <QString>
#include <QStringList>

namespace lt::test
{

class ClusterFixture
{
public:
    ClusterFixture();
    ~ClusterFixture(); // stops the cluster and removes its directory

    // Starts (or makes) a cluster of `nodes` nodes; false when it did not come up (output()
    // says why).
    bool start(int nodes);
    void stop();
    bool stopNode(int node);
    bool startNode(int node); // waits until it has caught up
    QString output() const { return output_; }

    QString port(int node) const;
    QString socket(int node) const;

    // Registers the data sources of the three installations (the test's own: node 3 first).
    void registerInstallations();
    static QString logDsn(int node);    // "LocalLogTable" for node 3
    static QString configDsn(int node); // "RemoteAcTable" for node 3

    // The mariadb client on a node as the superuser, after the node has applied everything the
    // cluster committed before (wsrep_sync_wait); the output without its last line end.
    QString sql(int node, const QString& statements, const QString& database = {}) const;
    // The single figure a statement answers; -1 when it answers none.
    qint64 count(int node, const QString& statement) const;

private:
    bool script(const QStringList& arguments, int timeoutMs = 600000);
    QString dir_;
    QStringList ports_;
    QString output_;
};

} // namespace lt::test
