#!/usr/bin/env bash
# Runs a 64-bit Windows program of this project under Wine, in the project's
# own prefix, with code page 932 and, when there is no display, a virtual one.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   |   wine-run.sh --init
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${TAVELIN_WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=${TAVELIN_LOCALE:-ja_JP.SJIS}
# No sound card here: play into a null device at the real rate, without noise.
if [ -z "${ALSA_CONFIG_PATH:-}" ] && [ ! -e /dev/snd/pcmC0D0p ]; then export ALSA_CONFIG_PATH=$here/tools/alsa-null.conf; fi
# Debian's wine64 package keeps the 64-bit loader off PATH.
wine=/usr/lib/wine/wine64
command -v wine64 >/dev/null 2>&1 && wine=$(command -v wine64)

if [ "${1:-}" = "--init" ]; then
  mkdir -p "$WINEPREFIX"
  set -- "$wine" wineboot --init
else
  set -- "$wine" "$@"
fi
if [ -z "${DISPLAY:-}" ]; then
  # 24-bit colour, so that pixels read back exactly.
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
fi
exec "$@"
