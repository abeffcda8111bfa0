#!/usr/bin/env bash
# How close bfrender's render of each module is to openmpt123's, with xmp's beside it for scale.
# All three render the first 30 s (or the song, where it ends sooner) at 44100 Hz with linear
# interpolation (openmpt123 --filter 2, xmp -i linear); bench/similarity.py gives the correlation
# of each render's log band spectrograms with openmpt123's (1 = the same sound): in stereo (the
# left and right spectrograms side by side: the measure of record, panning and the pan law count)
# and mixed to mono. Renders of different lengths are compared over the longer one, the shorter
# padded with silence (a song that stops too soon loses what it leaves out). openmpt123's render
# goes on 0.1 s past the end of the song it reports, the voices still sounding faded out; that
# release is not the song (xmp and ours stop where the pass ends) and is cut off before the
# comparison, openmpt123's render taken up to its own length of the pass. A module a player
# refuses (or renders nothing of) gets "-". `rms` is a render's loudness against openmpt123's over
# the time both cover. `length` is one pass of the song in seconds by ours, openmpt123 and xmp
# (their own --info; xmp's in whole seconds), the whole pass, not only the 30 s compared.
# openmpt123 plays its first subsong, the song from order 0.
# The self-check: many test modules play a player's result on the left and the tracker's own
# recording on the right, or two channels that cancel. A module counts as self-checking where
# openmpt123's render has left = right (their spectrograms correlate at 0.95 or more) or is
# silent; a player passes it where its own render does the same (the `self` columns: the
# correlation, + passed, - not).
# Below the table: each column's median over the modules it has a value for, how many modules
# ours plays more than 0.05 below xmp's similarity (stereo, and mono), how many it refuses that
# xmp plays, the self-checks passed by ours, xmp and openmpt123, the modules whose pass differs
# from openmpt123's by more than 0.2 s and 2 %, and those played more than 10 % louder or softer.
#   bench/fidelity.sh [MODULE.xm|MODULE.mod ...] (default: every module in ../shared/testdata/xm,
#                                                 xm-ft2 and xm-songs)
#   BFRENDER=path/to/bfrender bench/fidelity.sh  (default: build/bin/bfrender)
#   BFRENDER_ARGS="--rules intro" bench/fidelity.sh   (extra bfrender arguments; FastTracker 2
#                                                      rules by default)
# Needs xmp, openmpt123 and python3-numpy (scripts/setup.sh bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bfrender=${BFRENDER:-build/bin/bfrender}
read -r -a extra <<<"${BFRENDER_ARGS:-}"
seconds=30
[ -x "$bfrender" ] || { echo "build first: make build (or set BFRENDER)" >&2; exit 1; }
# Debian's python3 has numpy; another one earlier on the PATH may not.
python=${PYTHON:-}
[ -n "$python" ] || { [ -x /usr/bin/python3 ] && python=/usr/bin/python3 || python=python3; }
for tool in xmp openmpt123; do
  command -v "$tool" >/dev/null || { echo "fidelity.sh: $tool missing (scripts/setup.sh bench)" >&2; exit 1; }
done
"$python" -c 'import numpy' 2>/dev/null || { echo "fidelity.sh: $python has no numpy (python3-numpy)" >&2; exit 1; }
modules=("$@")
if [ ${#modules[@]} -eq 0 ]; then
  for dir in ../shared/testdata/xm ../shared/testdata/xm-ft2 ../shared/testdata/xm-songs; do
    [ -d "$dir" ] && modules+=("$dir"/*.xm)
  done
fi
[ ${#modules[@]} -gt 0 ] || { echo "fidelity.sh: no modules (no ../shared/testdata beside the repository)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

table=$out/table
header() {
  printf '%-40s %7s %7s %7s %7s %6s %6s %7s %7s %7s %7s %7s %7s\n' module "$@"
}
header stereo xmp mono xmp rms xmp self xmp openmpt length openmpt xmp
for m in "${modules[@]}"; do
  # The module keeps its extension (xm, mod), by which openmpt123 may know its format.
  ext=${m##*.}
  rm -f "$out"/*.wav "$out"/m.*
  cp "$m" "$out/m.$ext"
  chmod u+w "$out/m.$ext"
  # openmpt123 writes its render beside the module, as m.xm.wav; undithered, the same every run.
  # Its first subsong: by default it goes on with the orders the song never reaches as further
  # songs, which FastTracker 2 cannot play (it plays from order 0 only).
  openmpt123 --quiet --render --no-float --dither 0 --filter 2 --samplerate 44100 --end-time "$seconds" --subsong 0 \
    --force "$out/m.$ext" >/dev/null 2>&1 || true
  [ "$ext" = xm ] || [ ! -e "$out/m.$ext.wav" ] || mv "$out/m.$ext.wav" "$out/m.xm.wav"
  # One pass of the song, as the peers play it: openmpt123 and xmp do not repeat a song that ends
  # before 30 s (a render that looped would be compared with their silence); a longer one is
  # rendered for the 30 s compared.
  len_ours=$("$bfrender" --info "$m" "${extra[@]}" 2>/dev/null |
    awk '/^duration:/ { split($2, t, ":"); printf "%.2f", t[1] * 60 + t[2] }') || len_ours=
  [ -n "$len_ours" ] || len_ours=-
  cut=()
  [ "$len_ours" != - ] && awk -v l="$len_ours" -v s="$seconds" 'BEGIN { exit !(l > s) }' && cut=(--seconds "$seconds")
  "$bfrender" "$m" "$out/ours.wav" --rate 44100 "${cut[@]}" "${extra[@]}" >/dev/null 2>&1 || rm -f "$out/ours.wav"
  xmp --quiet --norc -i linear -f 44100 --nocmd -t "$seconds" -o "$out/xmp.wav" "$m" >/dev/null 2>&1 || rm -f "$out/xmp.wav"
  song_mpt=$(openmpt123 --info --subsong 0 "$out/m.$ext" 2>/dev/null |
    awk '/^Duration/ { split($2, t, ":"); printf "%.3f", t[1] * 60 + t[2] }') || song_mpt=
  len_mpt=
  if [ -n "$song_mpt" ]; then len_mpt=$(printf '%.2f' "$song_mpt"); fi
  len_xmp=$(xmp --load-only -v "$m" 2>&1 | awk '/^Duration/ { sub(/.*: */, ""); split($0, t, "min"); printf "%d", t[1] * 60 + t[2] }') || len_xmp=
  [ -n "$len_mpt" ] || len_mpt=-
  [ -n "$len_xmp" ] || len_xmp=-
  # Fields: stereo, mono and rms of ours, then of xmp; the self-checks of openmpt123, ours, xmp.
  ours_s=- ours_m=- ours_r=- xmp_s=- xmp_m=- xmp_r=- self_ref=- self_ours=- self_xmp=-
  song=()
  [ -n "$song_mpt" ] && song=(--song "$song_mpt")
  if [ -s "$out/m.xm.wav" ]; then
    self_ref=$("$python" bench/similarity.py --self "$out/m.xm.wav" 2>/dev/null |
      awk '{printf "%.3f%s", $1, $2 == "pass" ? "+" : "-"}') || self_ref=-
    for who in ours xmp; do
      [ -s "$out/$who.wav" ] || continue
      read -r s1 m1 r1 _ self < <("$python" bench/similarity.py --table "${song[@]}" "$out/m.xm.wav" "$out/$who.wav" 2>/dev/null | awk '{print $1, $2, $3, $4, $5}') || continue
      [ "$s1" = nan ] && s1=-
      [ "$m1" = nan ] && m1=-
      if [ "$who" = ours ]; then ours_s=$s1 ours_m=$m1 ours_r=$r1 self_ours=$self; else xmp_s=$s1 xmp_m=$m1 xmp_r=$r1 self_xmp=$self; fi
    done
  fi
  printf '%-40s %7s %7s %7s %7s %6s %6s %7s %7s %7s %7s %7s %7s\n' "$(basename "$m")" "$ours_s" "$xmp_s" "$ours_m" \
    "$xmp_m" "$ours_r" "$xmp_r" "$self_ours" "$self_xmp" "$self_ref" "$len_ours" "$len_mpt" "$len_xmp" | tee -a "$table"
done

awk '
  function median(v, n,   i, j, t) {
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  function m(v, n) { return n ? sprintf("%.4f", median(v, n)) : "-" }
  { if ($2 != "-") os[++nos] = $2; if ($3 != "-") xs[++nxs] = $3
    if ($4 != "-") om[++nom] = $4; if ($5 != "-") xm[++nxm] = $5
    if ($2 != "-" && $3 != "-" && $2 < $3 - 0.05) below++
    if ($4 != "-" && $5 != "-" && $4 < $5 - 0.05) belowMono++
    if ($2 == "-" && $3 != "-") refused++
    if ($10 ~ /\+$/) { checking++; if ($8 ~ /\+$/) oursPass++; if ($9 ~ /\+$/) xmpPass++ }
    if ($11 != "-" && $12 != "-") {
      d = $11 - $12; if (d < 0) d = -d
      if (d > 0.2 && d > 0.02 * $12) { lengths++; lengthList = lengthList " " $1 " (" $11 " against " $12 ")" }
    }
    if ($6 != "-" && ($6 > 1.1 || $6 < 1 / 1.1)) { loud++; loudList = loudList " " $1 " (" $6 ")" } }
  END {
    printf "%-40s %7s %7s %7s %7s\n", "median", m(os, nos), m(xs, nxs), m(om, nom), m(xm, nxm)
    printf "ours more than 0.05 below xmp: %d of %d modules in stereo, %d in mono", below, NR, belowMono
    printf "; refused by ours, played by xmp: %d\n", refused
    printf "self-checks passed: ours %d, xmp %d, openmpt123 %d of %d self-checking modules\n", oursPass, xmpPass, checking, checking
    printf "one pass more than 0.2 s and 2 %% from openmpt123'"'"'s: %d%s\n", lengths, lengthList
    printf "more than 10 %% louder or softer than openmpt123: %d%s\n", loud, loudList
  }' "$table"
