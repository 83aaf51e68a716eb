#!/bin/bash
# Prepares a fresh Debian machine (run as root) for both builds, the Wine
# suites and the fuzzers. Safe to run again: when every package is already
# installed it touches nothing and returns at once.
set -euo pipefail

PACKAGES=(
  cmake make g++ python3
  clang-format   # the format check of the test command
  libgtest-dev libgmock-dev googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386
  xvfb xauth
  mscompress
  fonts-dejavu-core   # a real TrueType file for the staging suite
  clang libclang-rt-14-dev
  util-linux   # flock, used by tools/wine-prefix.sh
  bc           # the ratios of tools/bench.sh
  nsis nsis-doc   # makensis builds the example NSIS installer
)

missing=()
for p in "${PACKAGES[@]}"; do
  # dpkg -s reports "install ok installed" only for a fully installed package.
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: missing packages (${missing[*]}); run as root" >&2
  exit 1
fi

echo "setup.sh: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq "${missing[@]}" >/dev/null
