#!/usr/bin/env bash
# How close xmrender's render of each module is to openmpt123's, with xmp's beside it for scale.
# All three render the first 30 s (or the song, where it ends sooner) at 44100 Hz with linear
# interpolation (openmpt123 --filter 2, xmp -i linear); bench/similarity.py gives the correlation
# of each render's log band spectrogram with openmpt123's (1 = the same sound). Renders of
# different lengths are compared over the shorter one. A module a player refuses (or renders
# nothing of) gets "-".
# Below the table: each column's median over the modules it has a value for, and how many
# modules ours plays more than 0.05 below xmp's similarity (and how many it refuses that xmp plays).
#   bench/fidelity.sh [MODULE.xm ...]            (default: every module in ../shared/testdata/xm)
#   XMRENDER=path/to/xmrender bench/fidelity.sh  (default: build/bin/xmrender)
#   XMRENDER_ARGS="--rules intro" bench/fidelity.sh   (extra xmrender arguments; FastTracker 2
#                                                      rules by default)
# Needs xmp, openmpt123 and python3-numpy (scripts/setup.sh bench).
set -euo pipefail
cd "$(dirname "$0")/.."
xmrender=${XMRENDER:-build/bin/xmrender}
read -r -a extra <<<"${XMRENDER_ARGS:-}"
seconds=30
[ -x "$xmrender" ] || { echo "build first: make build (or set XMRENDER)" >&2; exit 1; }
# Debian's python3 has numpy; another one earlier on the PATH may not.
python=${PYTHON:-}
[ -n "$python" ] || { [ -x /usr/bin/python3 ] && python=/usr/bin/python3 || python=python3; }
for tool in xmp openmpt123; do
  command -v "$tool" >/dev/null || { echo "fidelity.sh: $tool missing (scripts/setup.sh bench)" >&2; exit 1; }
done
"$python" -c 'import numpy' 2>/dev/null || { echo "fidelity.sh: $python has no numpy (python3-numpy)" >&2; exit 1; }
modules=("$@")
[ ${#modules[@]} -gt 0 ] || modules=(../shared/testdata/xm/*.xm)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

table=$out/table
printf '%-40s %8s %8s\n' module ours xmp
for m in "${modules[@]}"; do
  rm -f "$out"/*.wav "$out/m.xm"
  cp "$m" "$out/m.xm"
  chmod u+w "$out/m.xm"
  # openmpt123 writes its render beside the module, as m.xm.wav; undithered, the same every run.
  openmpt123 --quiet --render --no-float --dither 0 --filter 2 --samplerate 44100 --end-time "$seconds" --force "$out/m.xm" \
    >/dev/null 2>&1 || true
  # One pass of the song, as the peers play it: openmpt123 and xmp do not repeat a song that ends
  # before 30 s (a render that looped would be compared with their silence).
  "$xmrender" "$m" "$out/ours.wav" --rate 44100 "${extra[@]}" >/dev/null 2>&1 || rm -f "$out/ours.wav"
  xmp --quiet --norc -i linear -f 44100 --nocmd -t "$seconds" -o "$out/xmp.wav" "$m" >/dev/null 2>&1 || rm -f "$out/xmp.wav"
  ours=-; xp=-
  if [ -s "$out/m.xm.wav" ]; then
    for who in ours xmp; do
      [ -s "$out/$who.wav" ] || continue
      value=$("$python" bench/similarity.py "$out/m.xm.wav" "$out/$who.wav" 2>/dev/null) || value=-
      [ "$value" = nan ] && value=-
      if [ "$who" = ours ]; then ours=$value; else xp=$value; fi
    done
  fi
  printf '%-40s %8s %8s\n' "$(basename "$m")" "$ours" "$xp" | tee -a "$table"
done

awk '
  function median(v, n,   i, j, t) {
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  { if ($2 != "-") o[++no] = $2; if ($3 != "-") x[++nx] = $3
    if ($2 != "-" && $3 != "-" && $2 < $3 - 0.05) below++
    if ($2 == "-" && $3 != "-") refused++ }
  END {
    printf "%-40s %8s %8s\n", "median", no ? sprintf("%.4f", median(o, no)) : "-", nx ? sprintf("%.4f", median(x, nx)) : "-"
    printf "ours more than 0.05 below xmp: %d of %d modules", below, NR
    printf "; refused by ours, played by xmp: %d\n", refused
  }' "$table"
