#!/usr/bin/env bash
# A MariaDB Galera cluster of N private servers on this machine, for tests and demonstrations of
# the scale-out path: every node is a server of scripts/db.sh (its data in DIR/nodeI/db, its
# socket, pid and logs in DIR/nodeI/run, its settings in DIR/nodeI/system/my.cnf) with its own
# SQL port and its own Galera ports on 127.0.0.1, and the account qmlxdovrik that consoles and
# capture hosts log in with over TCP.
#
#   cluster.sh start DIR [N]       start the cluster (N nodes, 3 by default, made on the first
#                                  start; a cluster that exists keeps its number of nodes)
#   cluster.sh stop DIR            stop every node (the last one stopped starts it again)
#   cluster.sh node-stop DIR I     stop node I (the others go on)
#   cluster.sh node-start DIR I    start node I again; it rejoins and catches up
#   cluster.sh status DIR          one line per node; exit 0 when every node is synced
#   cluster.sh ports DIR           the SQL ports of the nodes, one a line
#   cluster.sh client DIR I ...    the mariadb client on node I as the superuser
#
# A joining node receives the whole data by mariadb-backup (package mariadb-backup), not by
# rsync: run by root (as a server started by root runs it), the joiner's rsync daemon switches to
# the user nobody, rsync's default for a daemon started by root, and may not create directories in
# the root-owned data directory ("mkdir ... failed: Permission denied", rsync code 23). Servers of
# an ordinary user, or of Debian's mysql user, do not meet this; mariadb-backup works for both.
#
# LANTROVE_DB_POOL_MB sets each node's InnoDB buffer pool (default 96 MB, for a small machine
# shared by three nodes); LANTROVE_DB_FAST=1 trades durability for speed (test clusters).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=db.sh
source "$here/db.sh"

export LANTROVE_DB_POOL_MB=${LANTROVE_DB_POOL_MB:-96}
provider=/usr/lib/galera/libgalera_smm.so

usage() { echo "usage: $0 start DIR [N] | stop DIR | node-stop DIR I | node-start DIR I | status DIR | ports DIR | client DIR I ..." >&2; exit 2; }

need_cluster_tools() {
    need_tools
    local missing=()
    [ -f "$provider" ] || missing+=("$provider (package galera-4)")
    command -v mariadb-backup >/dev/null || missing+=("mariadb-backup (package mariadb-backup)")
    command -v socat >/dev/null || missing+=("socat (package socat)")
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "a Galera cluster needs: ${missing[*]}" >&2
    echo "install them with: sudo apt-get install galera-4 mariadb-backup socat (or run scripts/install-deps.sh)" >&2
    exit 1
}

ini() { echo "$dir/cluster.ini"; }
nodes() { sed -n 's/^nodes=//p' "$(ini)"; }
# node I's ports: SQL GALERA IST SST
node_ports() { sed -n "s/^node$1=//p" "$(ini)"; }
node_root() { echo "$dir/node$1"; }

# COUNT free ports from FROM upwards, none of them in the list TAKEN.
free_ports() {
    local count=$1 p=$2 taken=" $3 " out=()
    while [ ${#out[@]} -lt "$count" ]; do
        [ "$p" -lt 65000 ] || { echo "no free ports" >&2; return 1; }
        if [[ $taken != *" $p "* ]] && port_free "$p"; then out+=("$p"); taken+="$p "; fi
        p=$((p + 1))
    done
    echo "${out[*]}"
}

# Ports of their own range: the private servers of installations and tests start at 13306 (and
# may take a port between this choice and a node's start).
plan() {
    local n=$1 sqls galeras
    sqls=$(free_ports "$n" 16306 "")
    galeras=$(free_ports $((3 * n)) 16567 "$sqls")
    read -r -a s <<<"$sqls"
    read -r -a g <<<"$galeras"
    {
        echo "nodes=$n"
        local i
        for i in $(seq 1 "$n"); do
            echo "node$i=${s[i - 1]} ${g[3 * i - 3]} ${g[3 * i - 2]} ${g[3 * i - 1]}"
        done
    } >"$(ini)"
}

members() {
    local i out=()
    for i in $(seq 1 "$(nodes)"); do
        read -r _ g _ _ <<<"$(node_ports "$i")"
        out+=("127.0.0.1:$g")
    done
    local IFS=,
    echo "${out[*]}"
}

# The settings of db.sh, then the node's part in the cluster.
write_node_cnf() {
    local i=$1 sqlport gport istport sstport
    read -r sqlport gport istport sstport <<<"$(node_ports "$i")"
    use_root "$(node_root "$i")"
    write_cnf "$sqlport"
    cat >>"$cnf" <<CNF

[galera]
wsrep_on=ON
wsrep_provider=$provider
wsrep_cluster_name=lantrove
wsrep_cluster_address=gcomm://$(members)
wsrep_node_name=node$i
wsrep_node_address=127.0.0.1
wsrep_node_incoming_address=127.0.0.1:$sqlport
wsrep_provider_options="gmcast.listen_addr=tcp://127.0.0.1:$gport;ist.recv_addr=127.0.0.1:$istport;gcache.size=64M"
wsrep_sst_method=mariabackup
wsrep_sst_receive_address=127.0.0.1:$sstport
binlog_format=ROW
default_storage_engine=InnoDB
innodb_autoinc_lock_mode=2
# Replication counts as binary logging: without this the account qmlxdovrik may not create the
# log's triggers that keep the day sums true.
log_bin_trust_function_creators=1
CNF
}

wsrep() { client -N -B -e "SHOW GLOBAL STATUS LIKE '$1'" 2>/dev/null | awk '{print $2}'; }

synced() { running && [ "$(wsrep wsrep_ready)" = ON ] && [ "$(wsrep wsrep_local_state_comment)" = Synced ]; }

# Starts node I (bootstrapping a new cluster with "new") and waits until it is synced: a
# joining node first receives the data, which takes a while on a loaded machine.
start_node() {
    local i=$1 how=${2:-join}
    use_root "$(node_root "$i")"
    synced && return 0
    local server extra=() pid lines
    server=$(find_server)
    [ "$how" = new ] && extra=(--wsrep-new-cluster)
    mkdir -p "$root/run/tmp" "$root/db"
    rm -f "$sock"
    lines=$( (wc -l <"$errlog") 2>/dev/null || echo 0)
    # shellcheck disable=SC2046
    "$server" --defaults-file="$cnf" $(user_args) "${extra[@]}" >"$root/run/mariadbd.out" 2>&1 &
    pid=$!
    for _ in $(seq 1 1200); do
        synced && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    echo "node $i did not join the cluster; from $errlog:" >&2
    tail -n +"$((lines + 1))" "$errlog" 2>/dev/null | tail -n 25 >&2
    return 1
}

stop_node() {
    use_root "$(node_root "$1")"
    running || return 0
    mariadb-admin --socket="$sock" shutdown || true
    for _ in $(seq 1 300); do [ -S "$sock" ] || return 0; sleep 0.1; done
}

any_running() {
    local i
    for i in $(seq 1 "$(nodes)"); do
        use_root "$(node_root "$i")"
        running && return 0
    done
    return 1
}

# The node that may start the cluster again: the one Galera marked safe (the last to stop),
# else the one that got furthest.
bootstrap_node() {
    local i best=1 seq bestseq=-2 state
    for i in $(seq 1 "$(nodes)"); do
        state=$(node_root "$i")/db/grastate.dat
        [ -f "$state" ] || continue
        grep -q '^safe_to_bootstrap: *1' "$state" && { echo "$i"; return 0; }
        seq=$(sed -n 's/^seqno: *//p' "$state")
        [ "${seq:--1}" -gt "$bestseq" ] && { bestseq=$seq; best=$i; }
    done
    sed -i 's/^safe_to_bootstrap: *0/safe_to_bootstrap: 1/' "$(node_root "$best")/db/grastate.dat" 2>/dev/null || true
    echo "$best"
}

# The first node is made and given its accounts, then stopped: its data, copied, is the state
# every other node starts from, so that they join by the short incremental transfer instead of
# each receiving a whole copy (about a minute each on a loaded machine).
create_cluster() {
    local n=$1 i
    plan "$n"
    for i in $(seq 1 "$n"); do
        rm -rf "$(node_root "$i")"
        write_node_cnf "$i"
    done
    use_root "$(node_root 1)"
    install_data_dir || return 1
    # Each step checked: the caller tests this function, which turns errexit off inside it.
    start_node 1 new || return 1
    use_root "$(node_root 1)"
    create_accounts || return 1
    remote_account create >/dev/null || return 1
    stop_node 1 || return 1
    local seed
    seed=$(node_root 1)/db
    for i in $(seq 2 "$n"); do
        local to
        to=$(node_root "$i")/db
        cp -a "$seed/." "$to/"
        rm -f "$to/gvwstate.dat" "$to/galera.cache"
        sed -i 's/^safe_to_bootstrap: *1/safe_to_bootstrap: 0/' "$to/grastate.dat"
    done
    start_node 1 new || return 1
    join_all 1 || return 1
    touch "$(node_root 1)/db/.lantrove-ready"
}

# Starts every node but SKIP, side by side, and waits for all of them.
join_all() {
    local i pids=() rc=0
    for i in $(seq 1 "$(nodes)"); do
        [ "$i" = "$1" ] || { start_node "$i" & pids+=($!); }
    done
    for i in "${pids[@]}"; do wait "$i" || rc=1; done
    return $rc
}

start_cluster() {
    local n=${1:-3} i first=""
    if [ ! -f "$(ini)" ] || [ ! -f "$(node_root 1)/db/.lantrove-ready" ]; then
        [ "$n" -ge 1 ] || usage
        # Another server may take a chosen port meanwhile: the cluster is made anew on others.
        for i in 1 2; do
            (create_cluster "$n") && return 0
            stop_all
            echo "making the cluster again on other ports" >&2
        done
        create_cluster "$n"
        return 0
    fi
    any_running || { first=$(bootstrap_node); start_node "$first" new; }
    join_all "$first"
}

stop_all() {
    local i
    for i in $(seq "$(nodes)" -1 1); do stop_node "$i"; done
}

status() {
    local i all=0 sqlport
    for i in $(seq 1 "$(nodes)"); do
        read -r sqlport _ _ _ <<<"$(node_ports "$i")"
        use_root "$(node_root "$i")"
        if running; then
            echo "node$i 127.0.0.1:$sqlport $(wsrep wsrep_local_state_comment) cluster_size=$(wsrep wsrep_cluster_size)"
            synced || all=1
        else
            echo "node$i 127.0.0.1:$sqlport stopped"
            all=1
        fi
    done
    return $all
}

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || usage
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

case $cmd in
    start) need_cluster_tools; start_cluster "${3:-3}" ;;
    stop) [ -f "$(ini)" ] || exit 0; stop_all ;;
    node-stop) [ -n "${3:-}" ] || usage; stop_node "$3" ;;
    node-start)
        [ -n "${3:-}" ] || usage
        need_cluster_tools
        if any_running; then start_node "$3"; else start_node "$3" new; fi ;;
    status) [ -f "$(ini)" ] || exit 1; status ;;
    ports) for i in $(seq 1 "$(nodes)"); do read -r p _ _ _ <<<"$(node_ports "$i")"; echo "$p"; done ;;
    client) [ -n "${3:-}" ] || usage; use_root "$(node_root "$3")"; shift 3; client "$@" ;;
    *) usage ;;
esac
