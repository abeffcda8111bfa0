#!/usr/bin/env bash
# Real-time runs with nobody watching: the intro for RUN_SECONDS (12 unless set) of its clock,
# muted, on Mesa's software renderer, once on SDL's offscreen driver and once on the X11 driver
# of an X server of its own (Xvfb), RUNS times each (3 unless set). Per run: the wall time of the
# whole process and the frame times --stats gives (mean and worst). A run that keeps pace takes
# RUN_SECONDS plus the start-up; one whose renderer falls behind takes longer, with long frames.
#   bench/headless_present.sh                 (build/bin/brackenfold)
#   BRACKENFOLD=path/to/brackenfold RUN_SECONDS=12 RUNS=3 bench/headless_present.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BRACKENFOLD:-build/bin/brackenfold}
seconds=${RUN_SECONDS:-12}
runs=${RUNS:-3}
[ -x "$bin" ] || { echo "build first: make build (or set BRACKENFOLD)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/setup-windows.sh installs it)" >&2; exit 1; }

work=$(mktemp -d)
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=:$(head -1 "$work/display")

run() {  # run DRIVER: one line of wall time and frame times
  local start end
  start=$(date +%s.%N)
  env DISPLAY="$display" SDL_VIDEODRIVER=$1 "$bin" --no-dialog --allow-software --mute --seconds "$seconds" \
    --stats 2>"$work/stats" >/dev/null
  end=$(date +%s.%N)
  sed -n 's/.*: \([0-9]*\) frames drawn, frame time mean \([0-9.]*\) ms, worst \([0-9.]*\) ms/\1 \2 \3/p' \
    "$work/stats" | awk -v d="$1" -v start="$start" -v end="$end" \
    '{ printf "%-10s %8.2f %8d %10s %10s\n", d, end - start, $1, $2, $3 }'
}

echo "$seconds s runs of $bin, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-10s %8s %8s %10s %10s\n" driver "wall s" frames "mean ms" "worst ms"
for driver in offscreen x11; do
  for _ in $(seq "$runs"); do run $driver; done
done
