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
  xvfb xdotool tmux clang libclang-rt-14-dev
  ffmpeg libflac-dev flac
)
# Groups beyond the Linux build, each only for the targets that need it:
#   bench    the peer tools the benchmarks measure against, the profiler, numpy for the
#            fidelity script's spectrograms (make bench, bench/fidelity.sh), and libopenmpt's
#            development files for bench/ft2compare (built by the next configure of build/);
#   windows  the mingw-w64 cross compilers and binutils (the win32 thread model for the programs,
#            the posix one for the suites under Wine), GoogleTest's sources (built for the target),
#            Wine 8 with its 64-bit loader (make windows, make test-windows);
#   web      Debian's emscripten (compiler, libraries, legacy GL emulation; nothing is fetched at
#            build time), headless Chromium with chromedriver (make web, make test-web).
case "${1:-}" in
  "") ;;
  bench) packages+=(xmp openmpt123 libopenmpt-dev linux-perf libopenjp2-tools libjpeg-turbo-progs python3-numpy) ;;
  windows)
    packages+=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
               binutils-mingw-w64-x86-64 googletest wine wine64 python3) ;;
  web) packages+=(emscripten chromium chromium-driver python3) ;;
  *) echo "usage: setup.sh [bench|windows|web]" >&2; exit 2 ;;
esac

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
