#!/usr/bin/env bash
# Installs what the web build and its browser check need: Debian's emscripten (its compiler,
# libraries and legacy GL emulation; nothing is fetched at build time) and headless Chromium with
# chromedriver. Only `make web` and `make test-web` run this; the Linux targets never need it.
# As root it installs what is missing; otherwise it prints the apt-get line and stops.
set -euo pipefail

packages=(emscripten chromium chromium-driver python3 cmake make)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "brackenfold web setup: missing Debian packages. Run as root:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi

echo "brackenfold web setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
