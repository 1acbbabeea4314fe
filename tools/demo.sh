#!/usr/bin/env bash
# Installs what is missing, builds everything, then runs the plug-in in the
# stand-in host under Wine on a synthetic project: it loads a run through the
# plug-in's own load command, plays it, writes a screenshot taken during
# playback to build/demo.png and prints a summary.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh
./tools/build.sh
exec ./tools/wine-run.sh build/win64/bin/standin_host.exe build/win64/product/tavelin.dll --demo --frames 150 \
  --screenshot build/demo.png "$@"
