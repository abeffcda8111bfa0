#!/usr/bin/env bash
# Byte-for-byte comparison of two `wko decode`s: the one built here against a reference (for
# example the decoder before a speed change). Streams: the encoder's output for the three test
# pictures at several sizes and rates (lossless, to a size, RGB and YCbCr), the fuzz seeds (grey,
# two and four channels), every one of them cut at many lengths and with single bits flipped, and
# random bytes. Each stream is decoded by both; the exit status and the output file (PPM, PGM or
# PNG, whichever the channel count allows) must be the same. Exit status 0 when all are.
#   bench/wko_differential.sh REF_WKO [BUILD_DIR]
#   bench/wko_differential.sh --rev REV [BUILD_DIR]   builds the reference wko from git revision REV
# BUILD_DIR (default build) holds bin/wko, bin/testpicture and bin/wkoseeds.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source bench/reference_tool.sh
reference_tool wko "$out" "$@"
set -- "${args[@]}"
bin=${1:-build}/bin
for tool in "$bin/wko" "$bin/testpicture" "$bin/wkoseeds" "$ref"; do
  [ -x "$tool" ] || { echo "missing $tool (build wko, testpicture and wkoseeds first)" >&2; exit 1; }
done
new=$bin/wko

mkdir "$out/streams"
s=$out/streams
"$bin/wkoseeds" "$s" >/dev/null
for picture in landscape pebbles leaves; do
  for size in 1152x858 300x200 97x61 16x9; do
    "$bin/testpicture" "$picture" "$out/p.png" --size "$size"
    base=$s/$picture-$size
    "$new" encode "$out/p.png" "$base-lossless.wko" --lossless >/dev/null
    rates="0.25 1 4"
    [ "$size" = 1152x858 ] && rates=1
    for bpp in $rates; do
      # Tiny pictures at low rates cannot hold a header: those give no stream.
      "$new" encode "$out/p.png" "$base-$bpp.wko" --bpp "$bpp" >/dev/null 2>&1 || rm -f "$base-$bpp.wko"
      "$new" encode "$out/p.png" "$base-$bpp-rgb.wko" --bpp "$bpp" --no-ycbcr >/dev/null 2>&1 || rm -f "$base-$bpp-rgb.wko"
    done
  done
done
# Cut and bit-flipped copies of every stream, then random ones: reproducible (seeded by name).
for f in "$s"/*.wko; do
  perl -e '
    my ($path, $dir) = @ARGV;
    open(my $in, "<:raw", $path) or die; local $/; my $bytes = <$in>; close $in;
    my $n = length $bytes; (my $name = $path) =~ s{.*/}{}; $name =~ s/\.wko$//;
    srand(unpack("%32C*", $name));
    my %cuts = map { $_ => 1 } grep { $_ > 0 && $_ < $n } (1 .. 8, map { int($n * $_ / 12) } 1 .. 11);
    for my $c (keys %cuts) {
      open(my $o, ">:raw", "$dir/$name-cut$c.wko") or die; print $o substr($bytes, 0, $c); close $o;
    }
    for my $i (1 .. 8) {
      my $bit = int(rand($n * 8)); my $copy = $bytes;
      vec($copy, ($bit & ~7) + (7 - ($bit & 7)), 1) ^= 1;
      open(my $o, ">:raw", "$dir/$name-flip$bit.wko") or die; print $o $copy; close $o;
    }' "$f" "$s"
done
perl -e 'srand(12345); for my $i (1 .. 300) { my $n = 1 + int(rand($i < 150 ? 64 : 3000));
  open(my $o, ">:raw", "$ARGV[0]/random$i.wko") or die; print $o pack("C*", map { int(rand(256)) } 1 .. $n); close $o }' "$s"

decode() {  # decode TOOL STREAM STEM: prints the exit status; the picture goes to STEM.ppm/.pgm/.png
  local status=0
  for ext in ppm pgm png; do
    status=0
    "$1" decode "$2" "$3.$ext" >"$3.err" 2>&1 || status=$?
    grep -q "wrong channel count\|at most 4 channels" "$3.err" || break
  done
  echo "$status"
}
total=0 differ=0 decoded=0
for f in "$s"/*.wko; do
  total=$((total + 1))
  a=$(decode "$ref" "$f" "$out/a")
  b=$(decode "$new" "$f" "$out/b")
  same=1
  [ "$a" = "$b" ] || same=0
  for ext in ppm pgm png; do
    if [ -e "$out/a.$ext" ] || [ -e "$out/b.$ext" ]; then cmp -s "$out/a.$ext" "$out/b.$ext" || same=0; fi
  done
  [ "$a" = 0 ] && decoded=$((decoded + 1))
  if [ $same = 0 ]; then
    differ=$((differ + 1))
    echo "DIFFERENT: $(basename "$f") (exit $a against $b)"
  fi
  rm -f "$out"/a.* "$out"/b.*
done
echo "wko_differential: $total streams, $decoded decoded to pictures, $differ different"
[ $differ = 0 ]
