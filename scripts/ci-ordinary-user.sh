#!/usr/bin/env bash
# Runs the README's two commands as an ordinary user on a clean clone: ./run.sh must leave the
# console at its login dialog, and the private server's script and the database layer's tests
# must pass. Run as root; it creates the user "ltci" when missing.
#   ci-ordinary-user.sh REPOSITORY
set -euo pipefail
repo=$(cd "${1:?usage: ci-ordinary-user.sh REPOSITORY}" && pwd)
user=ltci
id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
rm -rf "$home/lantrove"
git clone -q --no-hardlinks "$repo" "$home/lantrove"
chown -R "$user:" "$home/lantrove"

as_user() { su - "$user" -c "cd ~/lantrove && $1"; }
cleanup() {
    # "[v]ar" so that pkill does not match the shell that runs it.
    as_user 'pkill -u ltci -f "[v]ar/app/"; scripts/db.sh stop var; pkill -u ltci -x Xvfb; true' \
        >/dev/null 2>&1 || true
}
trap cleanup EXIT

out=$(as_user ./run.sh 2>&1) || { echo "$out"; echo "./run.sh failed as $user"; exit 1; }
echo "$out" | tail -n 5
echo "$out" | grep -q "shows its login dialog" || { echo "the console did not reach its login dialog as $user"; exit 1; }
cleanup
as_user 'cd build && ctest --output-on-failure -R "server_|test_private_server|test_database|test_startup"'
