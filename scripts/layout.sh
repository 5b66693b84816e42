#!/usr/bin/env bash
# Lays out an installation from a build:
#   layout.sh BUILD_DIR ROOT [SERVER_ROOT]
# app/     the programs and the stand-ins of the outside modules under the names the system
#          looks for, LocalPort.txt (adapter 1) and BlackName.dat when missing, HELP.HTM
# system/  odbcinst.ini and odbc.ini for unixODBC, the first credential file (ADM / 739,
#          readable by its owner only) when missing, server.ini
# run/     window registrations and locks
# SERVER_ROOT names another installation whose private server this one uses (tests share one);
# by default the installation's own server.ini is kept.
# Running it again refreshes the programs and keeps the data and the settings.
set -euo pipefail

build=${1:?usage: layout.sh BUILD_DIR ROOT [SERVER_ROOT]}
root=${2:?usage: layout.sh BUILD_DIR ROOT [SERVER_ROOT]}
server_root=${3:-}
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
mkdir -p "$root"/{app,system,run}
root=$(cd "$root" && pwd)

# Programs: hard links where the file system allows them (cheap for throw-away installations),
# copies otherwise. A process's executable then lies in app/, where the system looks for it.
for prog in overseer provisioner logkeeper qmlxsn qmlxblock TQProgress qmlxcontent; do
    if [ -x "$build/bin/$prog" ]; then
        rm -f "$root/app/$prog"
        ln "$build/bin/$prog" "$root/app/$prog" 2>/dev/null || cp "$build/bin/$prog" "$root/app/$prog"
    fi
done

[ -f "$root/app/LocalPort.txt" ] || printf '1' >"$root/app/LocalPort.txt"
[ -f "$root/app/BlackName.dat" ] || cp "$src/data/BlackName.dat" "$root/app/BlackName.dat"
[ -f "$src/overseer/HELP.HTM" ] && cp "$src/overseer/HELP.HTM" "$root/app/HELP.HTM"

driver=${LANTROVE_ODBC_DRIVER:-}
if [ -z "$driver" ]; then
    for f in /usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so /usr/lib/*/odbc/libmaodbc.so \
             /usr/lib64/libmaodbc.so /usr/lib/libmaodbc.so; do
        [ -f "$f" ] && { driver=$f; break; }
    done
fi
[ -n "$driver" ] || { echo "the MariaDB ODBC driver (libmaodbc.so) is not installed" >&2; exit 1; }
cat >"$root/system/odbcinst.ini" <<INI
[MySQL ODBC 3.51 Driver]
Description=MariaDB Connector/ODBC
Driver=$driver
Threading=0
INI
[ -f "$root/system/odbc.ini" ] || : >"$root/system/odbc.ini"

if [ ! -f "$root/system/KVRTMQLP.DLL" ]; then
    (umask 077; printf 'ADM\r\n739\r\n' >"$root/system/KVRTMQLP.DLL")
fi
chmod 600 "$root/system/KVRTMQLP.DLL"

if [ -n "$server_root" ]; then
    cp "$server_root/system/server.ini" "$root/system/server.ini"
fi
echo "$root"
