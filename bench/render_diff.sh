#!/usr/bin/env bash
# Byte-for-byte comparison of two players' renders: the xmrender built here against a reference
# (for example the player before a change of structure that must change no sound). Modules: the
# intro's own, every module in ../shared/testdata (xm and xm-ft2, where present) and the ones
# xmprobes writes. Each is rendered by both with each rule set (one pass, at 44100 Hz and at
# 22050 Hz); the exit status and the WAV must be the same. Exit status 0 when all are.
#   bench/render_diff.sh REF_XMRENDER [BUILD_DIR]
#   bench/render_diff.sh --rev REV [BUILD_DIR]   builds the reference xmrender from git revision REV
# BUILD_DIR (default build) holds bin/xmrender and bin/xmprobes.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source bench/reference_tool.sh
reference_tool xmrender "$out" "$@"
set -- "${args[@]}"
bin=${1:-build}/bin
for tool in "$bin/xmrender" "$bin/xmprobes" "$ref"; do
  [ -x "$tool" ] || { echo "missing $tool (build xmrender and xmprobes first)" >&2; exit 1; }
done
new=$bin/xmrender

mkdir "$out/probes"
"$bin/xmprobes" "$out/probes" >/dev/null
modules=(resources/intro.xm "$out"/probes/*.xm)
for dir in ../shared/testdata/xm ../shared/testdata/xm-ft2; do
  if [ -d "$dir" ]; then modules+=("$dir"/*.xm); else echo "render_diff: no $dir, left out"; fi
done

total=0 differ=0
for m in "${modules[@]}"; do
  for rules in ft2 intro; do
    for rate in 44100 22050; do
      total=$((total + 1))
      a=0 b=0
      "$ref" "$m" "$out/a.wav" --rules "$rules" --rate "$rate" >/dev/null 2>&1 || a=$?
      "$new" "$m" "$out/b.wav" --rules "$rules" --rate "$rate" >/dev/null 2>&1 || b=$?
      same=1
      [ "$a" = "$b" ] || same=0
      if [ -e "$out/a.wav" ] || [ -e "$out/b.wav" ]; then cmp -s "$out/a.wav" "$out/b.wav" || same=0; fi
      if [ $same = 0 ]; then
        differ=$((differ + 1))
        echo "DIFFERENT: $(basename "$m") --rules $rules --rate $rate (exit $a against $b)"
      fi
      rm -f "$out/a.wav" "$out/b.wav"
    done
  done
done
echo "render_diff: $total renders, $differ different"
[ $differ = 0 ]
