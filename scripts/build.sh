#!/usr/bin/env bash
# Configures and builds into build/ (warnings on, tests and benchmarks included).
# LT_WERROR=ON makes a compiler warning fail the build (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLT_WERROR="${LT_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
