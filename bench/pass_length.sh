#!/usr/bin/env bash
# How long one pass of each module lasts by bfrender (where it comes back to a row it has played
# in the same state of its pattern loops: the length of its one-pass render) beside openmpt123's
# duration (its --info), and the difference. Below the table: how many modules are within 0.2 s.
#   bench/pass_length.sh MODULE ...               (xm or mod)
#   BFRENDER=path/to/bfrender bench/pass_length.sh ...   (default: build/bin/bfrender)
#   BFRENDER_ARGS="--rules ft2" bench/pass_length.sh ... (extra bfrender arguments)
set -euo pipefail
cd "$(dirname "$0")/.."
bfrender=${BFRENDER:-build/bin/bfrender}
read -r -a extra <<<"${BFRENDER_ARGS:-}"
[ -x "$bfrender" ] || { echo "build first: make build (or set BFRENDER)" >&2; exit 1; }
command -v openmpt123 >/dev/null || { echo "pass_length.sh: openmpt123 missing (scripts/setup.sh bench)" >&2; exit 1; }
[ $# -gt 0 ] || { echo "usage: bench/pass_length.sh MODULE ..." >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

printf '%-45s %9s %9s %8s\n' module ours openmpt apart
within=0 total=0
for m in "$@"; do
  total=$((total + 1))
  ours=- theirs=- apart=-
  # A 16-bit stereo WAV: 44 bytes of header, 4 bytes a frame.
  if "$bfrender" "$m" "$out/ours.wav" "${extra[@]}" >/dev/null 2>&1; then
    ours=$(awk -v b="$(stat -c %s "$out/ours.wav")" 'BEGIN{printf "%.3f", (b - 44) / 4 / 44100}')
  fi
  # Duration...: mm:ss.sss, or hh:mm:ss.sss
  theirs=$(openmpt123 --info "$m" 2>/dev/null | awk -F': ' '/^Duration/ {
      n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.3f", s }') || true
  [ -n "$theirs" ] || theirs=-
  if [ "$ours" != - ] && [ "$theirs" != - ]; then
    apart=$(awk -v a="$ours" -v b="$theirs" 'BEGIN{printf "%+.3f", a - b}')
    awk -v d="$apart" 'BEGIN{exit !(d <= 0.2 && d >= -0.2)}' && within=$((within + 1))
  fi
  printf '%-45s %9s %9s %8s\n' "$(basename "$m")" "$ours" "$theirs" "$apart"
done
echo "within 0.2 s of openmpt123: $within of $total"
