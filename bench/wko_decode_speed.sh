#!/usr/bin/env bash
# Decode speed of `wko decode` against opj_decompress (JPEG 2000, Debian libopenjp2-tools) and
# djpeg (libjpeg-turbo-progs), whole process: CPU time (user + system, perf's task-clock) of
# each decoder turning a file of the same size into a PPM, the median of RUNS runs. The
# pictures are testpicture's three at SIZE, coded at BPP bits per pixel by `wko encode --bpp`;
# the JPEG 2000 file gets that byte size as its rate, the JPEG the best quality that fits in it.
# PSNR against the original by `wko compare`.
#   bench/wko_decode_speed.sh [SIZE [BPP [RUNS [BUILD_DIR]]]]   defaults 1152x858 1 21 build
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-1152x858} bpp=${2:-1} runs=${3:-21} bin=${4:-build}/bin
for tool in "$bin/wko" "$bin/testpicture"; do
  [ -x "$tool" ] || { echo "build first: $tool is missing" >&2; exit 1; }
done
for tool in perf opj_compress opj_decompress cjpeg djpeg; do
  command -v $tool >/dev/null ||
    { echo "needs $tool (Debian packages linux-perf, libopenjp2-tools, libjpeg-turbo-progs)" >&2; exit 1; }
done
w=${size%x*} h=${size#*x}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpu() {  # median task-clock in ms of RUNS runs of a command
  for _ in $(seq "$runs"); do
    perf stat -x, -e task-clock -- "$@" 2>&1 >/dev/null | awk -F, '/task-clock/{print $1}'
  done | sort -g | awk '{v[NR] = $1} END {printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
psnr() { "$bin/wko" compare "$1" "$2" | awk '{print $2}'; }

echo "decode $size at $bpp bpp, CPU ms of the whole process (median of $runs), PPM out"
printf '%-10s | %7s %7s %7s | %6s %6s %6s | %7s %7s %7s | %8s %8s\n' picture wko-B j2k-B jpg-B \
  wko-dB j2k-dB jpg-dB wko opj djpeg wko/opj wko/djpeg
for picture in landscape pebbles leaves; do
  "$bin/testpicture" "$picture" "$out/p.png" --size "$size"
  "$bin/wko" encode "$out/p.png" "$out/l.wko" --lossless >/dev/null
  "$bin/wko" decode "$out/l.wko" "$out/p.ppm"
  "$bin/wko" encode "$out/p.png" "$out/p.wko" --bpp "$bpp" >/dev/null
  bytes=$(stat -c %s "$out/p.wko")
  opj_compress -i "$out/p.ppm" -o "$out/p.j2k" -r "$(awk "BEGIN{print $w * $h * 3 / $bytes}")" >/dev/null 2>&1
  rm -f "$out/p.jpg"
  for q in $(seq 1 100); do
    cjpeg -optimize -quality "$q" "$out/p.ppm" >"$out/q.jpg" 2>/dev/null
    [ "$(stat -c %s "$out/q.jpg")" -le "$bytes" ] || break
    cp "$out/q.jpg" "$out/p.jpg"
  done
  [ -e "$out/p.jpg" ] || { echo "no JPEG of $picture fits in $bytes bytes" >&2; exit 1; }
  "$bin/wko" decode "$out/p.wko" "$out/w.ppm"
  opj_decompress -i "$out/p.j2k" -o "$out/j.ppm" >/dev/null 2>&1
  djpeg -outfile "$out/g.ppm" "$out/p.jpg"
  ours=$(cpu "$bin/wko" decode "$out/p.wko" "$out/o.ppm")
  opj=$(cpu opj_decompress -i "$out/p.j2k" -o "$out/o.ppm")
  jpg=$(cpu djpeg -outfile "$out/o.ppm" "$out/p.jpg")
  printf '%-10s | %7s %7s %7s | %6s %6s %6s | %7s %7s %7s | %8.2f %8.2f\n' "$picture" "$bytes" \
    "$(stat -c %s "$out/p.j2k")" "$(stat -c %s "$out/p.jpg")" "$(psnr "$out/p.png" "$out/w.ppm")" \
    "$(psnr "$out/p.png" "$out/j.ppm")" "$(psnr "$out/p.png" "$out/g.ppm")" "$ours" "$opj" "$jpg" \
    "$(awk "BEGIN{print $ours / $opj}")" "$(awk "BEGIN{print $ours / $jpg}")"
done
