#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# As root it installs what is missing; otherwise it prints the apt-get line and stops.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libsdl2-dev libfltk1.3-dev
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
  libstb-dev libfreetype-dev fonts-dejavu-core
  libgtest-dev libbenchmark-dev
  xvfb xdotool clang libclang-rt-14-dev
  ffmpeg
)
# The peer tools the benchmarks measure against, and the profiler: only for `setup.sh bench`.
if [ "${1:-}" = bench ]; then
  packages+=(xmp openmpt123 linux-perf libopenjp2-tools libjpeg-turbo-progs)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "brackenfold setup: missing Debian packages. Run as root:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi

echo "brackenfold setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
