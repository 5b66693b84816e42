#!/usr/bin/env bash
# Runs the README's two commands as an ordinary user on a clean clone: ./run.sh must leave the
# console at its login dialog, then ./test.sh must pass every test (the cases that need root
# skip with a reason; .ci/run runs those tests as root afterwards). Both build with warnings as
# errors. Run as root; it creates the user (LT_CI_USER, "ltci" by default: two runs on one
# machine take two users) when missing.
#   ci-ordinary-user.sh REPOSITORY
set -euo pipefail
repo=$(cd "${1:?usage: ci-ordinary-user.sh REPOSITORY}" && pwd)
user=${LT_CI_USER:-ltci}
id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
rm -rf "$home/lantrove"
git clone -q --no-hardlinks "$repo" "$home/lantrove"
chown -R "$user:" "$home/lantrove"

# A login shell starts with a clean environment: the compiler cache CI shares is passed on.
cache=""
[ -n "${CCACHE_DIR:-}" ] && cache="CCACHE_DIR=$CCACHE_DIR CCACHE_UMASK=000 "
as_user() { su - "$user" -c "cd ~/lantrove && $cache$1"; }
cleanup() {
    # "[v]ar" so that pkill does not match the shell that runs it.
    as_user "pkill -u $user -f '[v]ar/app/'; scripts/db.sh stop var; pkill -u $user -x Xvfb; true" \
        >/dev/null 2>&1 || true
}
trap cleanup EXIT

out=$(as_user 'LT_WERROR=ON ./run.sh' 2>&1) || { echo "$out"; echo "./run.sh failed as $user"; exit 1; }
echo "$out" | tail -n 5
echo "$out" | grep -q "shows its login dialog" || { echo "the console did not reach its login dialog as $user"; exit 1; }
cleanup
as_user 'LT_WERROR=ON ./test.sh'
