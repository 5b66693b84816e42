#!/usr/bin/env bash
# Builds the tests that cross the ODBC driver boundary with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs them (with the tests' private server).
set -euo pipefail
cd "$(dirname "$0")/.."
tests=(test_database test_dbtext test_blackimport test_provisioner_database test_keeper_pruning)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLT_SANITIZE=ON -DLT_WERROR=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target "${tests[@]}" provisioner logkeeper overseer \
    qmlxsn qmlxblock TQProgress qmlxcontent
pattern="server_|$(IFS='|'; echo "${tests[*]}")"
cd build-asan
# The driver and the driver manager are not built with the sanitizer; their own allocations at
# exit are not this project's to answer for.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -R "$pattern"
