#!/usr/bin/env bash
# The private MariaDB server of an installation: its data in ROOT/db, its socket and pid in
# ROOT/run, its settings in ROOT/system/my.cnf, and how the programs reach it in
# ROOT/system/server.ini. It listens on its own port (never 3306), on 127.0.0.1 unless it
# is set up to serve other machines.
#
#   db.sh init ROOT [PORT]     create the data directory and accounts (once), then start
#   db.sh start ROOT           start when not running (initialises first when needed)
#   db.sh serve ROOT [ADDRESS] set the server up to serve other machines: it listens on
#                              ADDRESS (default 0.0.0.0, every interface) and gets the account
#                              qmlxdovrik that consoles and capture hosts of other machines use
#   db.sh stop ROOT            stop when running
#   db.sh status ROOT          exit 0 when the server answers
#   db.sh client ROOT ...      run the mariadb client on the socket as the server's superuser
#                              (the OS user that created it)
#
# A local installation has no password account at all: its programs log in over the socket as
# the OS user that runs them, so no other local user reaches the data. The account qmlxdovrik
# has a password known to every installation; it exists only on a server set up with "serve".
#
# LANTROVE_DB_FAST=1 trades durability for speed (test servers).
set -euo pipefail

# The server of one directory; scripts/cluster.sh sources this file and calls it per node.
use_root() {
    root=$1
    mkdir -p "$root"
    root=$(cd "$root" && pwd)
    cnf=$root/system/my.cnf
    sock=$root/run/mariadb.sock
    pidf=$root/run/mariadb.pid
    errlog=$root/run/mariadb.err
}

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

pick_port() {
    local p
    for p in $(seq 13306 13406); do
        port_free "$p" && { echo "$p"; return 0; }
    done
    echo "no free port between 13306 and 13406" >&2
    return 1
}

user_args() { [ "$(id -u)" = 0 ] && echo "--user=root"; true; }

# Debian keeps the server program in /usr/sbin, which is not on an ordinary user's PATH.
find_server() {
    local d
    command -v mariadbd 2>/dev/null && return 0
    for d in /usr/sbin /usr/libexec /usr/local/sbin /usr/local/libexec /usr/local/mysql/bin; do
        [ -x "$d/mariadbd" ] && { echo "$d/mariadbd"; return 0; }
    done
    command -v mysqld 2>/dev/null && return 0
    for d in /usr/sbin /usr/libexec; do
        [ -x "$d/mysqld" ] && { echo "$d/mysqld"; return 0; }
    done
    return 1
}

need_tools() {
    local missing=()
    find_server >/dev/null || missing+=("mariadbd (package mariadb-server)")
    local t
    for t in mariadb mariadb-admin mariadb-install-db; do
        command -v "$t" >/dev/null || missing+=("$t (package ${t/mariadb-install-db/mariadb-server})")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "the private database server needs: ${missing[*]}" >&2
    echo "install them with: sudo apt-get install mariadb-server mariadb-client (or run scripts/install-deps.sh)" >&2
    exit 1
}

running() {
    [ -S "$sock" ] && mariadb-admin --socket="$sock" --connect-timeout=2 ping >/dev/null 2>&1
}

# The superuser of the server is the OS user that created it (identified by the socket).
client() { mariadb --socket="$sock" "$@"; }

# The data pages kept in memory: a quarter of the machine's memory, at least 256 MB and at most
# 4 GB, so that a log of millions of rows is read from memory once it has been read.
buffer_pool_mb() {
    local kb
    kb=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo 2>/dev/null || true)
    # A node of a test cluster on a small shared machine names its own figure.
    [ -n "${LANTROVE_DB_POOL_MB:-}" ] && { echo "$LANTROVE_DB_POOL_MB"; return 0; }
    local mb=$(( ${kb:-0} / 4096 ))
    [ "$mb" -lt 256 ] && mb=256
    [ "$mb" -gt 4096 ] && mb=4096
    echo "$mb"
}

write_cnf() {
    local port=$1
    mkdir -p "$root/system" "$root/run/tmp" "$root/db"
    local extra=""
    if [ "${LANTROVE_DB_FAST:-0}" = 1 ]; then
        extra=$'innodb_flush_log_at_trx_commit=2\ninnodb_doublewrite=0\nsync_binlog=0'
    fi
    cat >"$cnf" <<CNF
[mysqld]
datadir=$root/db
socket=$sock
pid-file=$pidf
log-error=$errlog
tmpdir=$root/run/tmp
port=$port
bind-address=127.0.0.1
skip-name-resolve
lower_case_table_names=1
character-set-server=utf8mb4
collation-server=utf8mb4_general_ci
innodb_buffer_pool_size=$(buffer_pool_mb)M
max_allowed_packet=64M
$extra

[client]
socket=$sock
default-character-set=utf8mb4
CNF
    cat >"$root/system/server.ini" <<INI
[server]
port=$port
socket=$sock
INI
}

# The system tables of a new data directory; the superuser is the OS user that runs this.
install_data_dir() {
    local socket_user=()
    [ "$(id -u)" = 0 ] || socket_user=(--auth-root-socket-user="$(id -un)")
    # shellcheck disable=SC2046
    mariadb-install-db --defaults-file="$cnf" $(user_args) "${socket_user[@]}" \
        --skip-test-db >"$root/run/install-db.log" 2>&1 || {
        echo "mariadb-install-db failed; see $root/run/install-db.log" >&2
        return 1
    }
}

configured_port() { sed -n 's/^port=//p' "$cnf" | head -n 1; }

# Starts the server once; 0 when it answers, 2 when its port was taken meanwhile.
start_once() {
    rm -f "$sock"
    local out=$root/run/mariadbd.out pid lines
    lines=$(wc -l <"$errlog" 2>/dev/null || echo 0)
    # shellcheck disable=SC2046
    "$server" --defaults-file="$cnf" $(user_args) >"$out" 2>&1 &
    pid=$!
    for _ in $(seq 1 150); do
        running && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    tail -n +"$((lines + 1))" "$errlog" 2>/dev/null | grep -q "Address already in use" && return 2
    return 1
}

# The port of this installation, moved to a free one.
move_port() {
    local port was
    was=$(configured_port)
    port=$(pick_port)
    sed -i "s/^port=.*/port=$port/" "$cnf" "$root/system/server.ini"
    echo "port $was was taken: the private server moves to port $port" >&2
}

start_server() {
    running && return 0
    need_tools
    # A server removes the "#sql" files of its temporary directory when it starts: a directory
    # shared with another server (/tmp) would lose that server's temporary tables under it.
    grep -q '^tmpdir=' "$cnf" || sed -i "s|^log-error=.*|&\ntmpdir=$root/run/tmp|" "$cnf"
    mkdir -p "$root/run/tmp"
    local server out=$root/run/mariadbd.out rc=0
    server=$(find_server)
    # Another server (a second installation starting at the same moment) may take the port
    # that was free when it was chosen: then the installation moves to another free one.
    for _ in 1 2 3 4 5; do
        rc=0
        start_once || rc=$?
        [ "$rc" = 0 ] && return 0
        [ "$rc" = 2 ] || break
        move_port
    done
    echo "the private database server did not start ($server)" >&2
    # The error log stays empty when the server fails before it opens it (a bad option, a
    # data directory it may not write): then its own output says why.
    if [ -s "$errlog" ]; then
        echo "from $errlog:" >&2
        tail -n 20 "$errlog" >&2
    elif [ -s "$out" ]; then
        echo "from the server's output ($out):" >&2
        tail -n 20 "$out" >&2
    else
        echo "neither $errlog nor $out says why" >&2
    fi
    return 1
}

serving() { [ -n "$(sed -n 's/^serve=//p' "$root/system/server.ini" 2>/dev/null)" ]; }

# The account of other machines: only on a server set up to serve them.
remote_account() {
    if [ "$1" = create ]; then
        client <<SQL
CREATE USER IF NOT EXISTS 'qmlxdovrik'@'%' IDENTIFIED BY 'tovk318254';
CREATE USER IF NOT EXISTS 'qmlxdovrik'@'localhost' IDENTIFIED BY 'tovk318254';
GRANT ALL PRIVILEGES ON dovrik.* TO 'qmlxdovrik'@'%';
GRANT ALL PRIVILEGES ON ipdata.* TO 'qmlxdovrik'@'%';
GRANT ALL PRIVILEGES ON dovrik.* TO 'qmlxdovrik'@'localhost';
GRANT ALL PRIVILEGES ON ipdata.* TO 'qmlxdovrik'@'localhost';
FLUSH PRIVILEGES;
SQL
    else
        # Installations made before serving was a choice of its own had the account.
        client -e "DROP USER IF EXISTS 'qmlxdovrik'@'%', 'qmlxdovrik'@'localhost'"
    fi
}

create_accounts() {
    local me
    me=$(id -un)
    client -e "DELETE FROM mysql.global_priv WHERE User=''; FLUSH PRIVILEGES;"
    if [ "$me" != root ]; then
        client <<SQL
CREATE USER IF NOT EXISTS '$me'@'localhost' IDENTIFIED VIA unix_socket;
GRANT ALL PRIVILEGES ON dovrik.* TO '$me'@'localhost';
GRANT ALL PRIVILEGES ON ipdata.* TO '$me'@'localhost';
FLUSH PRIVILEGES;
SQL
    fi
}

init() {
    local port=${1:-}
    if [ -f "$root/db/.lantrove-ready" ] && [ -f "$cnf" ]; then
        start_server
        return 0
    fi
    [ -n "$port" ] && [ "$port" != 0 ] || port=$(pick_port)
    [ "$port" != 3306 ] || { echo "port 3306 belongs to a system server; choose another" >&2; exit 2; }
    need_tools
    write_cnf "$port"
    rm -rf "$root/db"/*
    install_data_dir || exit 1
    start_server
    create_accounts
    touch "$root/db/.lantrove-ready"
}

# Listens on ADDRESS and keeps the remote account; remembered in server.ini, so that later
# starts keep serving.
serve() {
    local address=${1:-0.0.0.0}
    [ -f "$root/db/.lantrove-ready" ] && [ -f "$cnf" ] || init ""
    local was
    was=$(sed -n 's/^bind-address=//p' "$cnf" | head -n 1)
    sed -i "s/^bind-address=.*/bind-address=$address/" "$cnf"
    sed -i '/^serve=/d' "$root/system/server.ini"
    echo "serve=$address" >>"$root/system/server.ini"
    if [ "$was" != "$address" ] && running; then
        mariadb-admin --socket="$sock" shutdown
        for _ in $(seq 1 100); do [ -S "$sock" ] || break; sleep 0.1; done
    fi
    start_server
    remote_account create
    echo "the server listens on $address port $(configured_port); other machines log in as qmlxdovrik"
}

started() {
    start_server
    serving || remote_account drop
}

# Sourced (by scripts/cluster.sh): the functions only.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

cmd=${1:-}
[ -n "$cmd" ] && [ -n "${2:-}" ] || { echo "usage: $0 init|start|stop|status|client ROOT [PORT]" >&2; exit 2; }
use_root "$2"

case $cmd in
    init) init "${3:-}"; serving || remote_account drop ;;
    start)
        if [ -f "$root/db/.lantrove-ready" ] && [ -f "$cnf" ]; then started; else init "${3:-}"; fi ;;
    serve) serve "${3:-}" ;;
    stop)
        if running; then
            mariadb-admin --socket="$sock" shutdown || true
            for _ in $(seq 1 100); do [ -S "$sock" ] || break; sleep 0.1; done
        fi ;;
    status) running ;;
    client) shift 2; client "$@" ;;
    *) echo "unknown command $cmd" >&2; exit 2 ;;
esac
