#!/usr/bin/env bash
# bfplay for real, in a terminal of tmux's, keys typed as a user types them: each key of its help
# does what it says on the status line or above it, Ctrl-Z and fg give the line and keys back,
# and a list plays on to its second file. Arguments: the program, a module of four channels and
# about forty seconds.
set -uo pipefail
bfplay=$1
module=$2
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 0; }

work=$(mktemp -d)
cp "$module" "$work/a.xm"
cp "$module" "$work/b.xm"
T() { tmux -S "$work/socket" "$@"; }
trap 'T kill-server 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  echo "--- the pane:"
  T capture-pane -p -S -60
  exit 1
}

# A shell of its own, without the user's settings, in a pane wide enough for the whole line.
T -f /dev/null new-session -d -x 150 -y 50 "env -i PATH=/usr/bin:/bin TERM=xterm HOME=$work bash --norc --noprofile"
T send-keys "export SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 PS1='$ '; cd $work" Enter
T send-keys "$bfplay a.xm b.xm" Enter

pane() { T capture-pane -p -S -200; }
status() { pane | grep '^Ord ' | tail -1; }
# Waits up to ten seconds for the pane (or the status line) to match.
wait_pane() {
  for _ in $(seq 100); do pane | grep -Eq -- "$1" && return 0; sleep 0.1; done
  fail "the pane never showed /$1/"
}
wait_status() {
  for _ in $(seq 100); do status | grep -Eq -- "$1" && return 0; sleep 0.1; done
  fail "the status line never matched /$1/ (it reads \"$(status)\")"
}
seconds() { status | sed -E 's/.* ([0-9]{2}):([0-9]{2})\/.*/\1 \2/' | awk '{ print $1 * 60 + $2 }'; }

wait_pane 'Module +a.xm \(1 of 2\)'
wait_status '^Ord 00/11'

T send-keys ' '
wait_status ' paused$'
T send-keys ' '
wait_status '\|$'

T send-keys '+' '+' '-'
wait_status 'Gain \+1dB'
T send-keys '-'
T send-keys ']'
wait_status '\| Sep 60%$'
T send-keys '['
T send-keys 'l'
wait_status '\| loop$'
T send-keys 'l'
wait_status '\|$'

# Channel 2 off, then alone, then all back.
T send-keys '2'
wait_status '\|[.#] [.#][.#]\|'
T send-keys 's'
wait_status '\| [.#]  \|'
T send-keys '!'
wait_status '\|[.#]{4}\|'

T send-keys 'h'
wait_pane '  space +pause / resume'
T send-keys 'i'
wait_pane '^Instruments'
wait_pane '^  01 bass'
T send-keys 'I'
wait_pane '^Samples \([0-9]+ of [0-9]+ slots'

# Five seconds on and back; the arrows an order on and back.
T send-keys 'Right'
wait_status '^Ord 01/11'
T send-keys 'Left'
wait_status '^Ord 00/11'
before=$(seconds)
T send-keys '.'
for _ in $(seq 50); do [ "$(seconds)" -ge $((before + 5)) ] && break; sleep 0.1; done
[ "$(seconds)" -ge $((before + 5)) ] && [ "$(seconds)" -le $((before + 7)) ] ||
  fail "five seconds on from $before s shows $(seconds) s"
T send-keys ','
for _ in $(seq 50); do [ "$(seconds)" -le $((before + 2)) ] && break; sleep 0.1; done
[ "$(seconds)" -le $((before + 2)) ] || fail "five seconds back shows $(seconds) s (from $before s)"
T send-keys 'Down'
wait_status ' 00:0[01]/00:42'

# Stopped and brought back: the line goes on being drawn, and keys are keys, not echoed.
T send-keys C-z
wait_pane 'Stopped'
T send-keys 'fg' Enter
T send-keys ' '
wait_status ' paused$'
T send-keys ' '

# A minute on is past the song's end: the next file of the list plays; p goes back to the first.
T send-keys 'Up'
wait_pane 'Module +b.xm \(2 of 2\)'
T send-keys 'p'
for _ in $(seq 100); do [ "$(pane | grep -c 'Module  *a.xm (1 of 2)')" -ge 2 ] && break; sleep 0.1; done
[ "$(pane | grep -c 'Module  *a.xm (1 of 2)')" -ge 2 ] || fail "p did not go back to the first file"
T send-keys 'n'
for _ in $(seq 100); do [ "$(pane | grep -c 'Module  *b.xm (2 of 2)')" -ge 2 ] && break; sleep 0.1; done
[ "$(pane | grep -c 'Module  *b.xm (2 of 2)')" -ge 2 ] || fail "n did not go on to the second file"
T send-keys 'q'
# (After fg the shell's $? is the job's.)
T send-keys 'echo EXIT=$?' Enter
wait_pane '^EXIT=0$'
echo "PASS: the keys of bfplay's help, Ctrl-Z and fg, and a list of two"
