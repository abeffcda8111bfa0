# Sourced by the differential scripts: `reference_tool TOOLS OUT_DIR "$@"` sets `ref` to the
# reference program and `args` to the arguments left. With `--rev REV` first it builds the first
# of TOOLS (a list of names, for a tool renamed since) that revision REV has, in OUT_DIR;
# otherwise the first argument is the reference program itself.
reference_tool() {
  local tools=$1 out=$2 tool
  shift 2
  if [ "${1:-}" = --rev ]; then
    [ -n "${2:-}" ] || { echo "usage: $0 --rev REV [BUILD_DIR]" >&2; exit 2; }
    mkdir "$out/ref-src"
    git archive "$2" | tar -x -C "$out/ref-src"
    cmake -S "$out/ref-src" -B "$out/ref-build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRACKENFOLD_TESTS=OFF \
      -DBRACKENFOLD_BENCH=OFF >/dev/null
    for tool in $tools; do
      if cmake --build "$out/ref-build" --target "$tool" -j2 >/dev/null 2>&1; then break; fi
    done
    ref=$out/ref-build/bin/$tool
    shift 2
  else
    [ -n "${1:-}" ] || { echo "usage: $0 REF_$(echo "${tools%% *}" | tr a-z A-Z) [BUILD_DIR] | --rev REV [BUILD_DIR]" >&2; exit 2; }
    ref=$1
    shift
  fi
  args=("$@")
}
