#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through
# ctest: the native unit tests, the product checks of dist/tavelin.dll, and
# the Wine tests in one virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh
./tools/build.sh
cd build
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 "$@"
fi
exec ctest --output-on-failure -j2 "$@"
