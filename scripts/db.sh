#!/usr/bin/env bash
# The private MariaDB server of an installation: its data in ROOT/db, its socket and pid in
# ROOT/run, its settings in ROOT/system/my.cnf, and how the programs reach it in
# ROOT/system/server.ini. It listens on 127.0.0.1 only, on its own port (never 3306).
#
#   db.sh init ROOT [PORT]   create the data directory and accounts (once), then start
#   db.sh start ROOT         start when not running (initialises first when needed)
#   db.sh stop ROOT          stop when running
#   db.sh status ROOT        exit 0 when the server answers
#   db.sh client ROOT ...    run the mariadb client on the socket as the server's superuser
#                            (the OS user that created it)
#
# LANTROVE_DB_FAST=1 trades durability for speed (test servers).
set -euo pipefail

cmd=${1:-}
root=${2:-}
[ -n "$cmd" ] && [ -n "$root" ] || { echo "usage: $0 init|start|stop|status|client ROOT [PORT]" >&2; exit 2; }
mkdir -p "$root"
root=$(cd "$root" && pwd)
cnf=$root/system/my.cnf
sock=$root/run/mariadb.sock
pidf=$root/run/mariadb.pid
errlog=$root/run/mariadb.err

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

running() {
    [ -S "$sock" ] && mariadb-admin --socket="$sock" --connect-timeout=2 ping >/dev/null 2>&1
}

# The superuser of the server is the OS user that created it (identified by the socket).
client() { mariadb --socket="$sock" "$@"; }

write_cnf() {
    local port=$1
    mkdir -p "$root/system" "$root/run" "$root/db"
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
port=$port
bind-address=127.0.0.1
skip-name-resolve
lower_case_table_names=1
character-set-server=utf8mb4
collation-server=utf8mb4_general_ci
innodb_buffer_pool_size=256M
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

configured_port() { sed -n 's/^port=//p' "$cnf" | head -n 1; }

start_server() {
    running && return 0
    rm -f "$sock"
    # shellcheck disable=SC2046
    mariadbd --defaults-file="$cnf" $(user_args) >/dev/null 2>&1 &
    for _ in $(seq 1 100); do
        running && return 0
        sleep 0.1
    done
    echo "the private database server did not start; see $errlog" >&2
    tail -n 20 "$errlog" >&2 || true
    return 1
}

create_accounts() {
    local me
    me=$(id -un)
    client <<SQL
DELETE FROM mysql.global_priv WHERE User='';
FLUSH PRIVILEGES;
CREATE USER IF NOT EXISTS 'qmlxdovrik'@'%' IDENTIFIED BY 'tovk318254';
CREATE USER IF NOT EXISTS 'qmlxdovrik'@'localhost' IDENTIFIED BY 'tovk318254';
GRANT ALL PRIVILEGES ON dovrik.* TO 'qmlxdovrik'@'%';
GRANT ALL PRIVILEGES ON ipdata.* TO 'qmlxdovrik'@'%';
GRANT ALL PRIVILEGES ON dovrik.* TO 'qmlxdovrik'@'localhost';
GRANT ALL PRIVILEGES ON ipdata.* TO 'qmlxdovrik'@'localhost';
FLUSH PRIVILEGES;
SQL
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
    write_cnf "$port"
    rm -rf "$root/db"/*
    local socket_user=()
    [ "$(id -u)" = 0 ] || socket_user=(--auth-root-socket-user="$(id -un)")
    # shellcheck disable=SC2046
    mariadb-install-db --defaults-file="$cnf" $(user_args) "${socket_user[@]}" \
        --skip-test-db >"$root/run/install-db.log" 2>&1 || {
        echo "mariadb-install-db failed; see $root/run/install-db.log" >&2
        exit 1
    }
    start_server
    create_accounts
    touch "$root/db/.lantrove-ready"
}

case $cmd in
    init) init "${3:-}" ;;
    start)
        if [ -f "$root/db/.lantrove-ready" ] && [ -f "$cnf" ]; then start_server; else init "${3:-}"; fi ;;
    stop)
        if running; then
            mariadb-admin --socket="$sock" shutdown || true
            for _ in $(seq 1 100); do [ -S "$sock" ] || break; sleep 0.1; done
        fi ;;
    status) running ;;
    client) shift 2; client "$@" ;;
    *) echo "unknown command $cmd" >&2; exit 2 ;;
esac
