#!/usr/bin/env bash
# Installs what the Windows builds and their checks need beyond scripts/setup.sh: the mingw-w64
# cross compilers (posix thread model) and binutils, GoogleTest's sources (built for the target),
# Wine 8 (64-bit loader), Xvfb and xdotool for the virtual display, ffmpeg for the screenshot.
# As root it installs what is missing; otherwise it prints the apt-get line and stops.
set -euo pipefail

packages=(
  cmake g++ make
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest
  wine wine64 xvfb xdotool ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "brackenfold setup-windows: missing Debian packages. Run as root:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi

echo "brackenfold setup-windows: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
