#!/usr/bin/env bash
# Side-by-side offline rendering speed: xmrender against the XM players people use today
# (openmpt123 and xmp, from Debian's packages, when installed). Each renders the same module to
# a 16-bit stereo 44100 Hz WAV file; the CPU seconds (user + system) of each are printed.
#   bench/compare_players.sh [MODULE.xm ...]   (default: the real songs in ../shared/testdata/xm)
set -euo pipefail
cd "$(dirname "$0")/.."
xmrender=build/bin/xmrender
[ -x "$xmrender" ] || { echo "build first: make build" >&2; exit 1; }
modules=("$@")
[ ${#modules[@]} -gt 0 ] || modules=(../shared/testdata/xm/song_*.xm)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpu() {  # prints user+system seconds of a command, 3 runs, best of them
  local best=""
  for _ in 1 2 3; do
    local t
    /usr/bin/time -o "$out/time" -f '%U %S' "$@" >/dev/null 2>&1 || { echo fail; return; }
    t=$(awk '{print $1 + $2}' "$out/time")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

printf '%-34s %10s %12s %12s %10s\n' module seconds xmrender openmpt123 xmp
for m in "${modules[@]}"; do
  name=$(basename "$m")
  "$xmrender" "$m" "$out/x.wav"
  frames=$(( ($(stat -c %s "$out/x.wav") - 44) / 4 ))
  seconds=$(awk "BEGIN{printf \"%.1f\", $frames / 44100}")
  ours=$(cpu "$xmrender" "$m" "$out/x.wav" --seconds "$seconds")
  mpt=-; xp=-
  if command -v openmpt123 >/dev/null; then
    cp "$m" "$out/m.xm"
    mpt=$(cpu openmpt123 --quiet --render --no-float --samplerate 44100 --end-time "$seconds" --force "$out/m.xm")
  fi
  if command -v xmp >/dev/null; then
    xp=$(cpu xmp --quiet -f 44100 --nocmd -o "$out/p.wav" "$m")
  fi
  printf '%-34s %10s %12s %12s %10s\n' "$name" "$seconds" "$ours" "$mpt" "$xp"
done
