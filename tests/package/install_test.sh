#!/usr/bin/env bash
# The Debian package on this machine, as root: installs dist/lantrove_*.deb with dpkg (over the
# previous version from dist/previous/ when there is one, with a log of LANTROVE_UPGRADE_ROWS
# rows, 1,000,000 by default, checksummed before and after), checks the files, the units
# (systemd-analyze verify), a headless keeper pass and the monitor's replay as user lantrove,
# the module services' command lines run by hand as the units would run them, then removal
# (databases and configuration kept) and purge (databases dropped only when debconf says so).
# The "system" MariaDB server is one of the test's own on the system's socket
# (/run/mysqld/mysqld.sock) with a throw-away data directory; the test refuses to run when a
# server already answers there, or when the package is installed already, and leaves neither
# the package nor its user nor its server behind.
#   install_test.sh SOURCE_DIR BUILD_DIR      exit 77: skipped (with the reason)
set -euo pipefail
src=$(cd "${1:?source dir}" && pwd)
build=$(cd "${2:?build dir}" && pwd)
socket=/run/mysqld/mysqld.sock
rows=${LANTROVE_UPGRADE_ROWS:-1000000}

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "installing a package needs root (dpkg -i); run as root: ctest -L package"
new=$(ls -t "$src"/dist/lantrove_*_amd64.deb 2>/dev/null | head -n 1 || :)
[ -n "$new" ] || skip "no package built: run scripts/package.sh first"
previous=$(ls -t "$src"/dist/previous/lantrove_*_amd64.deb 2>/dev/null | head -n 1 || :)
dpkg-query -W -f='${Status}' lantrove 2>/dev/null | grep -q installed &&
    skip "the package is installed on this machine already; the test does not touch it"
mariadb --protocol=socket -S $socket -e 'SELECT 1' >/dev/null 2>&1 &&
    skip "a MariaDB server answers on $socket; the test does not touch a machine's own server"
command -v systemd-analyze >/dev/null || skip "systemd-analyze is missing"

tmp=$(mktemp -d /tmp/lantrove-install-test.XXXXXX)
chmod 755 "$tmp"
server_pid=
made_user=
cleanup() {
    set +e
    if dpkg-query -W -f='${Status}' lantrove 2>/dev/null | grep -q installed; then
        echo "lantrove lantrove/purge-databases boolean true" | debconf-set-selections
        DEBIAN_FRONTEND=noninteractive dpkg --purge lantrove >/dev/null
    fi
    pkill -u lantrove -x qmlxsn 2>/dev/null; pkill -u lantrove -x logkeeper 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" && wait "$server_pid" 2>/dev/null
    [ -n "$made_user" ] && getent passwd lantrove >/dev/null && deluser --quiet lantrove >/dev/null
    getent group lantrove >/dev/null && [ -n "$made_user" ] && delgroup --quiet lantrove >/dev/null
    echo "lantrove lantrove/purge-databases boolean false" | debconf-set-selections
    rm -rf "$tmp"
}
trap cleanup EXIT
getent passwd lantrove >/dev/null || made_user=1

fail() { echo "FAIL: $*" >&2; exit 1; }
check() { local what=$1; shift; "$@" || fail "$what"; echo "ok: $what"; }
sql() { mariadb --protocol=socket -S $socket -N -e "$1"; }
checksum() { sql "SELECT COUNT(*) FROM dovrik.logtable; CHECKSUM TABLE dovrik.logtable" | tr '\n\t' '  '; }
install_deb() { DEBIAN_FRONTEND=noninteractive dpkg -i "$1" >"$tmp/dpkg.log" 2>&1 ||
    { cat "$tmp/dpkg.log"; fail "dpkg -i $(basename "$1")"; }; }

# The system's server, as Debian's service would run it, with the settings the package asks for.
mkdir -p /run/mysqld && chown mysql /run/mysqld
mariadb-install-db --user=mysql --datadir="$tmp/db" --auth-root-authentication-method=socket \
    --skip-test-db >/dev/null
mariadbd --no-defaults --user=mysql --datadir="$tmp/db" --socket=$socket --skip-networking \
    --lower-case-table-names=1 --character-set-server=utf8mb4 --innodb-buffer-pool-size=256M \
    --log-error="$tmp/db/server.log" --pid-file="$tmp/db/server.pid" &
server_pid=$!
for _ in $(seq 100); do sql 'SELECT 1' >/dev/null 2>&1 && break; sleep 0.2; done
check "the test's system server answers" sql 'SELECT 1' >/dev/null

# A tree installation whose data sources are the package's, for the row generator.
gen() {
    mkdir -p "$tmp/tree/system" "$tmp/tree/app" "$tmp/tree/run"
    cp /etc/lantrove/odbc.ini /etc/lantrove/odbcinst.ini /etc/lantrove/server.ini "$tmp/tree/system/"
    LANTROVE_ROOT=$tmp/tree "$build/bin/lt_datagen" --log "$1" >"$tmp/datagen.log" 2>&1 ||
        { cat "$tmp/datagen.log"; fail "generating $1 log rows"; }
}

if [ -n "$previous" ]; then
    echo "== previous version: $(basename "$previous")"
    install_deb "$previous"
    gen "$rows"
    before=$(checksum)
    echo "log before the upgrade (rows, checksum): $before"
    SECONDS=0
    echo "== upgrade to $(basename "$new")"
    install_deb "$new"
    echo "upgrade took ${SECONDS} s for $rows rows"
    after=$(checksum)
    echo "log after the upgrade (rows, checksum):  $after"
    check "every row kept by the upgrade" [ "$before" = "$after" ]
else
    echo "== no previous version in dist/previous/: the package is installed over itself"
    install_deb "$new"
    gen 20000
    before=$(checksum)
    install_deb "$new"
    check "every row kept by installing again" [ "$before" = "$(checksum)" ]
fi

echo "== files"
check "programs in /usr/lib/lantrove" test -x /usr/lib/lantrove/qmlxsn -a -x /usr/lib/lantrove/qmlxblock
for p in overseer provisioner logkeeper; do
    check "/usr/bin/$p runs /usr/lib/lantrove/$p" [ "$(readlink -f /usr/bin/$p)" = /usr/lib/lantrove/$p ]
done
check "help and black list in /usr/share/lantrove, found from the program directory" \
    cmp -s /usr/share/lantrove/HELP.HTM /usr/lib/lantrove/HELP.HTM
check "LocalPort.txt is a conffile" grep -qx /etc/lantrove/LocalPort.txt /var/lib/dpkg/info/lantrove.conffiles
check "data sources registered for the local server" grep -q '^\[LocalLogTable\]' /etc/lantrove/odbc.ini
check "the credential file is the group's alone" [ "$(stat -c %a:%G /etc/lantrove/KVRTMQLP.DLL)" = 660:lantrove ]
check "menu entries" test -f /usr/share/applications/lantrove-overseer.desktop
check "system user lantrove" getent passwd lantrove
check "both databases initialised" [ "$(sql "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema IN ('dovrik','ipdata')")" -gt 10 ]

echo "== units"
for unit in keeper monitor blocker; do
    check "systemd-analyze verify lantrove-$unit.service" \
        systemd-analyze verify /lib/systemd/system/lantrove-$unit.service
done

echo "== as user lantrove"
as() { runuser -u lantrove -- env QT_QPA_PLATFORM=offscreen "$@"; }
check "a pruning pass" as /usr/lib/lantrove/logkeeper --prune-now >"$tmp/prune.log"
cat "$tmp/prune.log"
# The keeper service's command line with both module services marked as running (its watchdog
# looks every 10 s): it reaches both databases and starts no module.
as touch /run/lantrove/qmlxsn.service /run/lantrove/qmlxblock.service
as timeout -s TERM 15 /usr/lib/lantrove/logkeeper --headless >"$tmp/keeper.log" 2>&1 || :
cat "$tmp/keeper.log"
check "the headless keeper reaches both databases" grep -qx '数据库：连接正常' "$tmp/keeper.log"
check "the headless keeper leaves the modules to their services" grep -q 'qmlxsn.EXE 由系统服务运行' "$tmp/keeper.log"
check "and starts no copy" sh -c '! pgrep -u lantrove -x qmlxsn'
rm -f /run/lantrove/qmlxsn.service /run/lantrove/qmlxblock.service
python3 "$src/tests/package/visit_pcap.py" "$tmp/visit.pcap"
chmod 644 "$tmp/visit.pcap"
check "the monitor's replay" as /usr/lib/lantrove/qmlxsn -r "$tmp/visit.pcap"
check "its row in the browse log" [ "$(sql "SELECT COUNT(*) FROM dovrik.logtable WHERE Title='Package test page'")" = 1 ]
# The monitor service's command line, with its one capability, as the unit gives them.
exec_start=$(sed -n "s/^ExecStart=\/bin\/sh -c '\(.*\)'$/\1/p" /lib/systemd/system/lantrove-monitor.service)
exec_start=${exec_start//\$\$/\$}
exec_start=${exec_start//\\\\/\\}
setpriv --reuid lantrove --regid lantrove --init-groups --inh-caps +net_raw --ambient-caps +net_raw \
    --no-new-privs env QT_QPA_PLATFORM=offscreen sh -c "$exec_start" >"$tmp/monitor.log" 2>&1 &
monitor=$!
sleep 4
check "the monitor service's command line keeps running" kill -0 $monitor
check "its window is registered where the console looks" grep -rlq '监测模块' /run/lantrove/windows
kill $monitor; wait $monitor 2>/dev/null || :

echo "== removal"
DEBIAN_FRONTEND=noninteractive dpkg -r lantrove >/dev/null
check "remove keeps the databases" [ "$(sql "SHOW DATABASES LIKE 'dovrik'")" = dovrik ]
check "remove keeps the configuration" test -f /etc/lantrove/odbc.ini
echo "lantrove lantrove/purge-databases boolean false" | debconf-set-selections
DEBIAN_FRONTEND=noninteractive dpkg --purge lantrove >/dev/null
check "purge answered no keeps the databases" [ "$(sql "SHOW DATABASES LIKE 'dovrik'")" = dovrik ]
check "purge removes the configuration" test ! -e /etc/lantrove
install_deb "$new"
check "installing again keeps the log" [ "$(sql "SELECT COUNT(*) FROM dovrik.logtable WHERE Title='Package test page'")" = 1 ]
echo "lantrove lantrove/purge-databases boolean true" | debconf-set-selections
DEBIAN_FRONTEND=noninteractive dpkg --purge lantrove >/dev/null
check "purge answered yes drops the databases" [ -z "$(sql "SHOW DATABASES LIKE 'dovrik'")" ]
echo "PASS"
