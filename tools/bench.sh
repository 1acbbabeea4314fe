#!/usr/bin/env bash
# Builds everything and runs every benchmark, printing their figures: the
# resampler beside memcpy and the loader natively, real-time playback under Wine.
# Figures only: nothing here fails on speed.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh
./tools/build.sh
for bench in build/resample_bench build/loader_bench; do
  echo "== $bench"
  "$bench"
done
for bench in build/win64/bin/*_bench.exe; do
  echo "== $bench"
  ./tools/wine-run.sh "$bench"
done
