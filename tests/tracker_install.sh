#!/usr/bin/env bash
# The library as an outsider gets it: installed from the build into a fresh prefix, then
# examples/embed.c built against the copy twice, with pkg-config (a C99 compiler, warnings as
# errors) and as a CMake project with find_package(BrackenfoldTracker); both must render the modules
# byte for byte as bfrender does. The shared library exports the C interface and nothing else.
#   tests/tracker_install.sh BUILD_DIR BFRENDER
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$1 bfrender=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" --component tracker >/dev/null
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
cc -std=c99 -Wall -Wextra -pedantic -Werror "$source_dir/examples/embed.c" \
  $(pkg-config --cflags --libs brackenfold-tracker) -o "$work/embed-pc"
cmake -S "$source_dir/examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/examples" >/dev/null

# Every defined symbol, weak and unique ones too: the C interface and nothing else.
exported=$(nm -D --defined-only "$prefix/lib/libbrackenfold-tracker.so" | awk '{print $3}' | grep -v '^bft_' || true)
if [ -n "$exported" ]; then echo "exported beyond the C interface: $exported"; exit 1; fi

modules=("$source_dir/resources/intro.xm")
if [ -d "$source_dir/../shared/testdata/xm" ]; then
  modules+=("$source_dir"/../shared/testdata/xm/*.xm)
else
  echo "no ../shared/testdata/xm beside the repository: the intro's module only"
fi
for m in "${modules[@]}"; do
  "$bfrender" "$m" "$work/expected.wav" >/dev/null 2>&1 || continue
  for embed in "$work/embed-pc" "$work/examples/embed"; do
    "$embed" "$m" "$work/got.wav"
    cmp -s "$work/expected.wav" "$work/got.wav" || { echo "$(basename "$embed") differs from bfrender on $m"; exit 1; }
  done
done
echo "installed library: ${#modules[@]} modules rendered alike"
