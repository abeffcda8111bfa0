#!/usr/bin/env bash
# Side-by-side offline rendering speed: bfrender against the XM players people use today
# (xmp and openmpt123, from Debian's packages, when installed). Each renders the same module,
# looped, for the same length of music (60 s unless MUSIC_SECONDS says otherwise) to a new 16-bit
# stereo 44100 Hz WAV file with linear interpolation; the table gives each one's whole-process
# CPU time (user + system, best of RUNS runs, 5 unless set) per second of music it wrote.
#   bench/compare_players.sh [MODULE.xm ...]   (default: every module in ../shared/testdata/xm)
#   BFRENDER=path/to/bfrender bench/compare_players.sh   (default: build/bin/bfrender)
set -euo pipefail
cd "$(dirname "$0")/.."
bfrender=${BFRENDER:-build/bin/bfrender}
seconds=${MUSIC_SECONDS:-60}
[ -x "$bfrender" ] || { echo "build first: make build (or set BFRENDER)" >&2; exit 1; }
modules=("$@")
[ ${#modules[@]} -gt 0 ] || modules=(../shared/testdata/xm/*.xm)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# players NAME OUTPUT COMMAND... [-- NAME OUTPUT COMMAND...]: user+system seconds of each
# command, best of RUNS, one line "NAME SECONDS" each ("fail" when it fails). The players take
# turns within every round, so a slow spell of the machine (seen here to last seconds and to
# cost a third) falls on all of them alike instead of on whichever ran then.
players() {
  python3 - "${RUNS:-5}" "$@" <<'PY'
import os, resource, subprocess, sys
runs, words = int(sys.argv[1]), sys.argv[2:]
players, current = [], []
for w in words + ["--"]:
    if w == "--":
        if current:
            players.append(current)
        current = []
    else:
        current.append(w)
best = {}
for _ in range(runs):
    for name, output, *command in players:
        if best.get(name) == "fail":
            continue
        # Every run writes a file of its own: overwriting the last run's would add the file
        # system's cost of truncating it, which differs from player to player only by chance.
        if os.path.exists(output):
            os.unlink(output)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        if subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            best[name] = "fail"
            continue
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
        best[name] = t if name not in best else min(best[name], t)
for name, *_ in players:
    b = best[name]
    print(name, b if b == "fail" else f"{b:.4f}")
PY
}

# CPU seconds per second of music in a 16-bit stereo 44100 Hz WAV file.
per_second() {  # cpu wav
  local cpu=$1 wav=$2
  if [ "$cpu" = fail ] || [ ! -s "$wav" ]; then echo -; return; fi
  local bytes
  bytes=$(stat -c %s "$wav")
  awk "BEGIN{s = ($bytes - 44) / 4 / 44100; if (s <= 0) print \"-\"; else printf \"%.5f\", $cpu / s}"
}

printf '%-40s %8s %8s %10s %10s %10s\n' module channels seconds bfrender xmp openmpt123
for m in "${modules[@]}"; do
  name=$(basename "$m")
  channels=$("$bfrender" --info "$m" 2>/dev/null | awk '/^channels:/{print $2}') || true
  if [ -z "$channels" ]; then
    printf '%-40s %8s %8s %10s\n' "$name" - - "no load"
    continue
  fi
  set -- ours "$out/x.wav" "$bfrender" "$m" "$out/x.wav" --seconds "$seconds"
  if command -v xmp >/dev/null; then
    set -- "$@" -- xmp "$out/p.wav" xmp --quiet --norc --loop -i linear -f 44100 --nocmd -t "$seconds" -o "$out/p.wav" "$m"
  fi
  if command -v openmpt123 >/dev/null; then
    cp "$m" "$out/m.xm"
    set -- "$@" -- mpt "$out/m.xm.wav" openmpt123 --quiet --render --no-float --filter 2 --samplerate 44100 --repeat -1 \
      --end-time "$seconds" --force "$out/m.xm"
  fi
  times=$(players "$@")
  ours=$(per_second "$(awk '$1 == "ours" {print $2}' <<<"$times")" "$out/x.wav")
  xp=-; mpt=-
  grep -q '^xmp ' <<<"$times" && xp=$(per_second "$(awk '$1 == "xmp" {print $2}' <<<"$times")" "$out/p.wav")
  grep -q '^mpt ' <<<"$times" && mpt=$(per_second "$(awk '$1 == "mpt" {print $2}' <<<"$times")" "$out/m.xm.wav")
  printf '%-40s %8s %8s %10s %10s %10s\n' "$name" "$channels" "$seconds" "$ours" "$xp" "$mpt"
done
