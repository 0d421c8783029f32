#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine, only what
# is missing. Usage: scripts/setup.sh [host|all]
#   host: compilers and libraries for the Linux build (the demo)
#   all:  also the Windows cross compilers, Wine, Xvfb and screenshot tools
set -euo pipefail

what=${1:-all}
packages=(cmake ninja-build g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev)
if [ "$what" = all ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
             wine wine64 xvfb x11-apps imagemagick xdotool fonts-ipafont-gothic)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
