#!/usr/bin/env bash
# Builds everything: the native tests and benchmarks, the 32-bit product
# (dist/tavelin.dll) and the 64-bit build for Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$(nproc)"
