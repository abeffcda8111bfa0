#!/usr/bin/env bash
# Each interpolation's aliasing on a sine slid high (bench/AliasingSweep.cpp), the library's four
# modes beside openmpt123's filters (--filter 1, 2, 4, 8 taps), run as a black box on the same
# module at the same rate. Figures: the energy outside the tone, in dB below the tone, over the
# whole sweep and with the tone above 6 kHz.
#   bench/aliasing.sh [BUILD_DIR]     (BUILD_DIR/bin/aliasing_sweep, built with BRACKENFOLD_BENCH=ON)
set -euo pipefail
build=${1:-build}
tool=$build/bin/aliasing_sweep
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" write "$work/sweep.xm"
printf '%-28s %11s %11s\n' "" "whole sweep" "above 6 kHz"
"$tool" ours
if command -v openmpt123 >/dev/null; then
  for taps in 1 2 4 8; do
    openmpt123 --batch --quiet --samplerate 48000 --float --dither 0 --filter "$taps" --force \
      -o "$work/openmpt-$taps.wav" "$work/sweep.xm" >/dev/null 2>&1
    "$tool" measure "$work/openmpt-$taps.wav" "openmpt123 --filter $taps"
  done
else
  echo "no openmpt123 here: the library's figures only"
fi
