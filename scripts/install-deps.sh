#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the installer tools on a Debian 12 machine.
# Does nothing when every tool is already there; needs root otherwise.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix mingw-w64-tools)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v wine >/dev/null || need+=(wine wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v msiinfo >/dev/null || need+=(msitools)
command -v faketime >/dev/null || need+=(faketime)
command -v wixl >/dev/null || need+=(wixl)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
command -v xwd >/dev/null || need+=(x11-apps)
# Authenticode signing, and the throwaway certificates of its test.
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v openssl >/dev/null || need+=(openssl)
command -v git >/dev/null || need+=(git)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${need[*]} (run this script as root to install them)" >&2
  exit 1
fi
echo "installing: ${need[*]}"
dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
