#!/usr/bin/env bash
# Rate and quality of WKO against JPEG (cjpeg -optimize, libjpeg-turbo) on the three test
# pictures, and decode speed against djpeg.
#   bench/wko_vs_jpeg.sh [SIZE]   (SIZE WxH of the pictures, default 512x512)
# For each rate the JPEG is the largest at or below the rate's size (quality 1..100); the WKO
# stream gets exactly the JPEG's size. PSNR is over all RGB samples, by `wko compare`.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
for tool in "$bin/wko" "$bin/testpicture"; do
  [ -x "$tool" ] || { echo "build first: make build" >&2; exit 1; }
done
command -v cjpeg >/dev/null && command -v djpeg >/dev/null ||
  { echo "needs cjpeg and djpeg (Debian package libjpeg-turbo-progs)" >&2; exit 1; }
size=${1:-512x512}
w=${size%x*} h=${size#*x}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

psnr() { "$bin/wko" compare "$1" "$2" | awk '{print $2}'; }
# jpeg_below PPM BYTES OUT.jpg: the best quality whose file fits in BYTES; false when none does.
jpeg_below() {
  local q found=1
  for q in $(seq 1 100); do
    cjpeg -optimize -quality "$q" "$1" >"$out/q.jpg" 2>/dev/null
    [ "$(stat -c %s "$out/q.jpg")" -le "$2" ] || break
    cp "$out/q.jpg" "$3"
    found=0
  done
  return $found
}

printf '%-10s %5s | %8s %8s | %8s %8s %8s\n' picture bpp bytes JPEG-dB bytes WKO-dB YCbCr
for picture in landscape pebbles leaves; do
  "$bin/testpicture" "$picture" "$out/$picture.png" --size "$size"
  # cjpeg reads PPM: take it from the decoder of a lossless stream (checked bit-exact here too).
  "$bin/wko" encode "$out/$picture.png" "$out/l.wko" --lossless >/dev/null
  "$bin/wko" decode "$out/l.wko" "$out/$picture.ppm"
  [ "$(psnr "$out/$picture.png" "$out/$picture.ppm")" = inf ] || { echo "lossless round trip failed" >&2; exit 1; }
  for bpp in 0.25 0.5 1 2; do
    target=$(awk "BEGIN{print int($bpp * $w * $h / 8)}")
    if jpeg_below "$out/$picture.ppm" "$target" "$out/j.jpg"; then
      jbytes=$(stat -c %s "$out/j.jpg")
      djpeg "$out/j.jpg" >"$out/j.ppm"
      jdb=$(psnr "$out/$picture.png" "$out/j.ppm")
      bytes=$jbytes
    else
      jbytes=- jdb=- bytes=$target
    fi
    "$bin/wko" encode "$out/$picture.png" "$out/w.wko" --bytes "$bytes" >/dev/null
    wdb=$(psnr "$out/$picture.png" "$out/w.wko")
    colour=$("$bin/wko" info "$out/w.wko" | awk '/colour flag/{print $3 ? "yes" : "no"}')
    printf '%-10s %5s | %8s %8s | %8s %8s %8s\n' "$picture" "$bpp" "$jbytes" "$jdb" "$(stat -c %s "$out/w.wko")" "$wdb" "$colour"
  done
done

# Decode speed at 1 bpp on a 1024 x 1024 landscape: both decoders write PPM, 20 runs each.
"$bin/testpicture" landscape "$out/big.png" --size 1024x1024
"$bin/wko" encode "$out/big.png" "$out/big.wko" --bpp 1 >/dev/null
"$bin/wko" decode "$out/big.wko" "$out/big.ppm"
jpeg_below "$out/big.ppm" $((1024 * 1024 / 8)) "$out/big.jpg"
cpu() {
  /usr/bin/time -o "$out/time" -f '%U %S' bash -c "for i in \$(seq 20); do $1; done" >/dev/null 2>&1
  awk '{printf "%.1f", 20 * 1.048576 / ($1 + $2)}' "$out/time"
}
echo
echo "decode 1024x1024, Mpixel/s of CPU time (20 runs, PPM out):"
echo "  wko   $(stat -c %s "$out/big.wko") bytes: $(cpu "$bin/wko decode $out/big.wko $out/o.ppm")"
echo "  djpeg $(stat -c %s "$out/big.jpg") bytes: $(cpu "djpeg -outfile $out/o.ppm $out/big.jpg")"
