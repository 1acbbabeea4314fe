#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need on a Debian 12 machine.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev python3
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xauth
  locales fonts-ipafont-gothic
  sox cppcheck
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine takes its ANSI code page from the locale; the Japanese user interface is tested under code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.sjis$'; then
  echo "setup: generating the ja_JP.SJIS locale"
  localedef -f SHIFT_JIS -i ja_JP ja_JP.SJIS 2>/dev/null || test $? -eq 1
fi
