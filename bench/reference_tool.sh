# Sourced by the differential scripts: `reference_tool TOOL OUT_DIR "$@"` sets `ref` to the
# reference program and `args` to the arguments left. With `--rev REV` first it builds TOOL from
# git revision REV in OUT_DIR; otherwise the first argument is the reference program itself.
reference_tool() {
  local tool=$1 out=$2
  shift 2
  if [ "${1:-}" = --rev ]; then
    [ -n "${2:-}" ] || { echo "usage: $0 --rev REV [BUILD_DIR]" >&2; exit 2; }
    mkdir "$out/ref-src"
    git archive "$2" | tar -x -C "$out/ref-src"
    cmake -S "$out/ref-src" -B "$out/ref-build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRACKENFOLD_TESTS=OFF \
      -DBRACKENFOLD_BENCH=OFF >/dev/null
    cmake --build "$out/ref-build" --target "$tool" -j2 >/dev/null
    ref=$out/ref-build/bin/$tool
    shift 2
  else
    [ -n "${1:-}" ] || { echo "usage: $0 REF_$(echo "$tool" | tr a-z A-Z) [BUILD_DIR] | --rev REV [BUILD_DIR]" >&2; exit 2; }
    ref=$1
    shift
  fi
  args=("$@")
}
