#!/usr/bin/env bash
# Configures and builds into build/ (warnings on, tests and benchmarks included).
# LT_WERROR=ON makes a compiler warning fail the build (CI sets it). Where ccache is installed
# it caches the compiler's work, shared by every checkout of the repository on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$(pwd)")} CCACHE_NOHASHDIR=true
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLT_WERROR="${LT_WERROR:-OFF}" \
    "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
