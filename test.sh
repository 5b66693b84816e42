#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, runs CTest (which starts and stops a
# private MariaDB server of its own in build/testserver).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
cd build
ctest --output-on-failure -j2 "$@"
