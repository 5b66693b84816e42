#!/usr/bin/env bash
# The private server of a local installation: only the OS user that made it reaches the data
# (over the socket); no account with the well-known password exists until "serve" is asked for,
# and a later start of a local installation removes one left by an older set-up.
#   test_private_server.sh DB_SH WORK_DIR
set -euo pipefail
db=$1
work=$2
rm -rf "$work"
trap '"$db" stop "$work" >/dev/null 2>&1 || true' EXIT
failures=0
check() { # check WHAT EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then echo "PASS: $1"; else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
accounts() { "$db" client "$work" -N -e "SELECT CONCAT(User,'@',Host) FROM mysql.user ORDER BY 1" | tr '\n' ' '; }
port() { sed -n 's/^port=//p' "$work/system/server.ini"; }
remote_login() {
    mariadb -h 127.0.0.1 -P "$(port)" -u qmlxdovrik -ptovk318254 -N -e "SELECT 1" 2>/dev/null || echo refused
}

"$db" start "$work" >/dev/null
me=$(id -un)
expected="mariadb.sys@localhost root@localhost "
[ "$me" = root ] || expected="$me@localhost $expected"
check "a local server has only the socket accounts" "$expected" "$(accounts)"
check "the well-known password opens nothing" refused "$(remote_login)"
check "the server listens on the loopback address" 127.0.0.1 \
    "$("$db" client "$work" -N -e 'SELECT @@bind_address')"
check "its temporary tables lie in a directory of its own" "$work/run/tmp" \
    "$("$db" client "$work" -N -e 'SELECT @@tmpdir')"
check "its owner reaches it over the socket" 1 "$("$db" client "$work" -N -e 'SELECT 1')"

"$db" serve "$work" 127.0.0.1 >/dev/null
check "a serving server has the remote account" 1 "$(remote_login)"
"$db" stop "$work"
"$db" start "$work" >/dev/null
check "serving is remembered across a restart" 1 "$(remote_login)"

# An installation set up before serving was a choice: its server.ini does not say "serve".
sed -i '/^serve=/d' "$work/system/server.ini"
"$db" stop "$work"
"$db" start "$work" >/dev/null
check "a local start removes an old remote account" refused "$(remote_login)"

# A server that cannot start says why, even when its error log stays empty.
"$db" stop "$work"
sed -i "s/^\\[mysqld\\]$/[mysqld]\\nno-such-option=1/" "$work/system/my.cnf"
out=$("$db" start "$work" 2>&1 || true)
case $out in
    *"did not start"*unknown*|*"did not start"*"no-such-option"*) check "a failed start says why" yes yes ;;
    *) check "a failed start says why" yes "$out" ;;
esac
sed -i '/^no-such-option=1$/d' "$work/system/my.cnf"

echo "$(( 8 - failures )) passed, $failures failed"
[ "$failures" = 0 ]
