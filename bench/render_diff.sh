#!/usr/bin/env bash
# Byte-for-byte comparison of two renderers: the one built here against a reference (for example
# the player before a change of structure that must change no sound). Modules: the intro's own,
# every file of every folder in ../shared/testdata (where present) and the ones xmprobes writes.
# Each is rendered by both with every rule set both know (one pass, at 44100 Hz and at 22050 Hz);
# the exit status and the WAV must be the same. A module the reference refuses and the new one
# plays (a format added since) is counted apart and is no difference. Exit status 0 when none
# differs.
#   bench/render_diff.sh REF_RENDERER [BUILD_DIR]
#   bench/render_diff.sh --rev REV [BUILD_DIR]   builds the reference renderer from git revision REV
# BUILD_DIR (default build) holds bin/bfrender and bin/xmprobes. RULES="ft2 pt" picks the rule
# sets (default: every set the reference's --help names). REF_CACHE=DIR keeps the reference's
# results there, so that a second run against the same reference renders only the new side.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
source bench/reference_tool.sh
# Before the tools were named for no one format the renderer was xmrender.
reference_tool "bfrender xmrender" "$out" "$@"
set -- "${args[@]}"
bin=${1:-build}/bin
for tool in "$bin/bfrender" "$bin/xmprobes" "$ref"; do
  [ -x "$tool" ] || { echo "missing $tool (build bfrender and xmprobes first)" >&2; exit 1; }
done
new=$bin/bfrender

if [ -n "${RULES:-}" ]; then
  read -r -a rules <<<"$RULES"
else
  # The sets the reference offers, from its --rules line: "--rules ft2|pt|intro".
  mapfile -t rules < <("$ref" --help | grep -o -- '--rules [a-z0-9|]*' | head -1 | cut -d' ' -f2 | tr '|' '\n')
fi
[ ${#rules[@]} -gt 0 ] || { echo "render_diff: no rule sets" >&2; exit 1; }

mkdir "$out/probes"
"$bin/xmprobes" "$out/probes" >/dev/null
modules=(resources/intro.xm "$out"/probes/*)
if [ -d ../shared/testdata ]; then
  while IFS= read -r -d '' m; do modules+=("$m"); done < <(find ../shared/testdata -type f \
    ! -name '*.md' ! -name '*.txt' ! -name 'README*' -print0 | sort -z)
else
  echo "render_diff: no ../shared/testdata, the intro's module and the probes only"
fi

cache=${REF_CACHE:-$out/ref-cache}
mkdir -p "$cache"
# One render: its exit status and the WAV's digest, "STATUS DIGEST".
render() {  # tool module rules rate
  local digest status
  digest=$("$1" "$2" - --rules "$3" --rate "$4" -q 2>/dev/null | md5sum | cut -d' ' -f1; exit "${PIPESTATUS[0]}") \
    && status=0 || status=$?
  echo "$status $digest"
}
# Compares one module by every set at both rates; prints a line per difference.
compare() {  # module
  local m=$1 key a b
  for r in "${rules[@]}"; do
    for rate in 44100 22050; do
      key=$(printf '%s %s %s' "$(md5sum <"$m" | cut -d' ' -f1)" "$r" "$rate" | md5sum | cut -d' ' -f1)
      if [ -s "$cache/$key" ]; then a=$(cat "$cache/$key"); else a=$(render "$ref" "$m" "$r" "$rate"); echo "$a" >"$cache/$key"; fi
      b=$(render "$new" "$m" "$r" "$rate")
      if [ "$a" = "$b" ]; then echo "same"
      elif [ "${a%% *}" != 0 ] && [ "${b%% *}" = 0 ]; then echo "new $(basename "$m") --rules $r --rate $rate"
      else echo "DIFFERENT: $(basename "$m") --rules $r --rate $rate (exit ${a%% *} against ${b%% *})"; fi
    done
  done
}
export -f render compare
export ref new cache
export RULES_LIST="${rules[*]}"
# The function reads the sets from the environment in the children.
results=$(printf '%s\0' "${modules[@]}" | xargs -0 -n 1 -P "${JOBS:-2}" bash -c \
  'read -r -a rules <<<"$RULES_LIST"; compare "$1"' _)
total=$(grep -c . <<<"$results" || true)
differ=$(grep -c '^DIFFERENT' <<<"$results" || true)
added=$(grep -c '^new ' <<<"$results" || true)
grep '^DIFFERENT' <<<"$results" || true
echo "render_diff: $total renders (rules: ${rules[*]}), $differ different, $added played now that the reference refuses"
[ "$differ" = 0 ]
