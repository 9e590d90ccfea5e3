#!/usr/bin/env bash
# Cross-compiles the parts with a Windows back-end with MinGW and runs their test programs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win --parallel
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(mktemp -d /tmp/glowsmith-wine.XXXXXX)}
export WINEDLLOVERRIDES="mscoree,mshtml="
ctest --test-dir build-win --output-on-failure
