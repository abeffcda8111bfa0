#!/usr/bin/env bash
# The options dialog for real: FLTK on an X server of its own (Xvfb), driven by xdotool as a user
# would. Choosing 800x600 and pressing Return gives an 800 x 600 intro window, which Escape ends
# with exit code 0; Escape in the dialog ends the program with exit code 1 before any window;
# buttons act on release; a refused software renderer brings the Warning box, then the dialog.
# Arguments: the program, the clipboard reader (tests/xclipboard.cpp).
set -uo pipefail
bin=$1
clipboard=$2
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done

# Xvfb picks a free display and writes its number once it accepts clients.
work=$(mktemp -d)
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$work/display" 2>/dev/null &
xvfb=$!
intro=
trap 'kill $xvfb $intro 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display") SDL_VIDEODRIVER=x11 ASAN_OPTIONS=detect_leaks=0

fail() { echo "FAIL: $*"; exit 1; }
# xdotool, tried again where the server hung up on its connection, as Xvfb may on one that comes
# just as another client's goes (nothing was sent then).
xdo() {
  local attempt
  for attempt in 1 2 3 4 5; do
    xdotool "$@" 2>"$work/xdo" && return 0
    grep -q "open display" "$work/xdo" || return 1
    sleep 0.05
  done
  return 1
}
# The first visible window that matches, waiting up to 20 s. A search that meets a window as it
# goes (the dialog's, a box's) dies of X's BadWindow error and finds nothing; the next one looks again.
find_window() {
  local id
  for _ in $(seq 200); do
    id=$(xdo search --onlyvisible $1 | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Ends the intro in window $1 with Escape, held across a few frames (a press and release within
# one frame do not end it), and expects exit code 0; $2 says when, for the failure.
escape_intro() {
  sleep 1
  xdo windowfocus --sync "$1" || true
  xdo keydown Escape
  sleep 0.5
  xdo keyup Escape
  wait $intro
  local code=$?
  [ $code -eq 0 ] || fail "Escape in the intro$2 gave exit code $code"
}

# 1. 800x600, Return: the intro opens 800 x 600; Escape ends it with 0.
"$bin" --allow-software --mute &
intro=$!
dialog=$(find_window "--name ^Options$") || fail "no dialog"
[ -n "$dialog" ] || fail "no dialog"
# The 800x600 button lies at 54, 20 dialog units: 81, 32 pixels; its round box at its left.
xdo mousemove --window "$dialog" 88 40 click 1
xdo windowfocus --sync "$dialog" || true
xdo key --clearmodifiers Return
window=$(find_window "--class brackenfold") || fail "no intro window"
[ -n "$window" ] || fail "no intro window"
geometry=$(xdo getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "800x600" ] || fail "intro window is $geometry, not 800x600"
escape_intro "$window" ""

# 2. Escape in the dialog: exit code 1, no intro window.
"$bin" --allow-software --mute &
intro=$!
dialog=$(find_window "--name ^Options$") || fail "no dialog the second time"
xdo windowfocus --sync "$dialog" || true
xdo key Escape
wait $intro
code=$?
[ $code -eq 1 ] || fail "Escape in the dialog gave exit code $code"

# 3. A button acts on release inside it, as the dialog manager's do: pressed, dragged off and
# released, neither OK nor Cancel ends the dialog. Clicked, OK starts the intro.
# OK lies at 77, 155 dialog units (115, 251 pixels), Cancel at 135, 155 (202, 251), 75 x 22 each.
"$bin" --allow-software --mute &
intro=$!
dialog=$(find_window "--name ^Options$") || fail "no dialog the third time"
[ -n "$dialog" ] || fail "no dialog the third time"
for button in "152 262" "240 262"; do
  xdo mousemove --window "$dialog" $button mousedown 1
  sleep 0.3
  xdo mousemove --window "$dialog" 150 200
  sleep 0.3
  xdo mouseup 1
  sleep 1
  kill -0 $intro 2>/dev/null || fail "pressing the button at $button and releasing it off the button ended the dialog"
  [ -n "$(xdo search --onlyvisible --name '^Options$')" ] || fail "the dialog went after a release off the button at $button"
  [ -z "$(xdo search --onlyvisible --class brackenfold)" ] || fail "the intro started after a release off OK"
done
xdo mousemove --window "$dialog" 152 262 click 1
window=$(find_window "--class brackenfold") || fail "no intro window after a click on OK"
[ -n "$window" ] || fail "no intro window after a click on OK"
escape_intro "$window" " after a click on OK"

# 4. Without --allow-software, Mesa's renderer (all an X server of its own offers) is refused:
# OK brings the modal box "Warning" with the refusal (Ctrl+C copies its text, as from a system
# box), Return closes it and the dialog comes back; after Escape there, stderr says how to
# accept the renderer.
"$bin" --mute 2>"$work/stderr" &
intro=$!
dialog=$(find_window "--name ^Options$") || fail "no dialog the fourth time"
[ -n "$dialog" ] || fail "no dialog the fourth time"
xdo windowfocus --sync "$dialog" || true
xdo key Return
box=$(find_window "--name ^Warning$") || fail "no Warning box after OK on a software renderer"
[ -n "$box" ] || fail "no Warning box after OK on a software renderer"
xdo windowfocus --sync "$box" || true
xdo key ctrl+c
text=$("$clipboard") || fail "the Warning box copied no text"
[ "$text" = "The options you choosed are not hardware accelerated by your GFX Card" ] ||
  fail "the Warning box says: $text"
xdo key Return
dialog=$(find_window "--name ^Options$") || fail "no dialog after the Warning box"
[ -n "$dialog" ] || fail "no dialog after the Warning box"
[ -z "$(xdo search --onlyvisible --name '^Warning$')" ] || fail "Return left the Warning box open"
xdo windowfocus --sync "$dialog" || true
xdo key Escape
wait $intro
code=$?
[ $code -eq 1 ] || fail "Escape in the dialog after the Warning box gave exit code $code"
grep -q -- "run with --allow-software" "$work/stderr" || fail "stderr does not name --allow-software: $(cat "$work/stderr")"
echo "PASS: dialog 800x600 -> 800 x 600 window, Escape -> 0; Escape in the dialog -> 1;"\
  "OK and Cancel released off the button -> the dialog stays; OK clicked -> the intro;"\
  "a software renderer -> the Warning box, Return -> the dialog again, Escape -> 1 and the hint on stderr"
