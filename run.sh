#!/usr/bin/env bash
# Runs the system: installs what is missing, builds, lays out the installation in var/, starts
# its private MariaDB server, registers the two data sources, initialises both databases the
# first time, and starts the console on this display (or on a virtual display it starts when
# there is none). Running it again keeps the data of the first run.
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
root=$top/var

scripts/install-deps.sh
scripts/build.sh
scripts/layout.sh build "$root" >/dev/null
# A new installation has something to show: the monitor stand-in writes a few rows a minute.
[ -f "$root/app/qmlxsn.ini" ] || printf '[monitor]\nFeedRate=20\n' >"$root/app/qmlxsn.ini"
scripts/db.sh start "$root"
echo "private database server: $(sed -n 's/^socket=//p' "$root/system/server.ini"), port $(sed -n 's/^port=//p' "$root/system/server.ini")"

export LANTROVE_ROOT=$root
export ODBCSYSINI=$root/system ODBCINI=$root/system/odbc.ini
provisioner=$root/app/provisioner
has_database() { scripts/db.sh client "$root" -N -e "SHOW DATABASES" | grep -qx "$1"; }
# Only a database that is missing or whose initialisation never finished (a server stopped
# half-way) is initialised: a second run keeps the data of a complete one. One that never
# finished but holds an administrator's data (terminals, groups, list entries, log rows, other
# accounts) is never initialised unasked: the provisioner says what it holds (exit code 5).
init=()
if [ -x "$provisioner" ]; then
    "$provisioner" --register 0.0.0.0
    for what in log config; do
        rc=0
        "$provisioner" --check "$what" || rc=$?
        case $rc in
            0) ;;
            4) init+=("$what") ;;
            5) echo "the $what database is left as it is, with its data; to initialise it anyway," \
                    "back it up, then run: $provisioner --init $what --yes" >&2 ;;
            *) echo "the provisioner could not check the database ($what)" >&2; exit 1 ;;
        esac
    done
    # A failure is reported by the provisioner; the console starts all the same, and the next
    # run checks again.
    for what in "${init[@]}"; do
        "$provisioner" --init "$what" --yes ||
            echo "the initialisation of the $what database reported failures (see above)" >&2
    done
    # A log database made by an earlier version gets what it lacks (indexes); its rows stay.
    "$provisioner" --upgrade
elif ! has_database dovrik && ! has_database ipdata; then
    echo "the provisioner is not built yet; registering and initialising directly"
    build/bin/lt_datagen --init
fi
echo "data sources: $root/system/odbc.ini (try: ODBCSYSINI=$root/system isql LocalLogTable)"

if [ ! -x "$root/app/overseer" ]; then
    echo "the console is not built yet; the installation is ready in $root"
    exit 0
fi

# A console that already runs keeps its lock; a second one would end at once.
if ! flock -n "$root/run/overseer.lock" true 2>/dev/null; then
    echo "the console is already running (installation $root)"
    exit 0
fi

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    setsid Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >"$root/run/xvfb.log" 2>&1 &
    export DISPLAY=":$n"
    sleep 1
    echo "no display was found: the console runs on the virtual display $DISPLAY (Xvfb pid $!)"
fi
setsid "$root/app/overseer" >"$root/run/overseer.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    if grep -qs '登录Lantrove系统' "$root"/run/windows/* 2>/dev/null; then
        echo "the console (pid $pid) shows its login dialog on $DISPLAY; log in as ADM with password 739"
        exit 0
    fi
    kill -0 "$pid" 2>/dev/null || { echo "the console ended; see $root/run/overseer.log" >&2; exit 1; }
    sleep 0.2
done
echo "the console (pid $pid) started on $DISPLAY"
