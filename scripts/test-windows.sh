#!/usr/bin/env bash
# The Windows programs checked on Linux (`make test-windows`, after `make windows windows-tests`):
#  1. both programs' PE headers: machine, GUI subsystem, only system DLLs imported; they are the
#     release build, and where dist/ holds the release archives, the programs in them are these
#     very files;
#  2. the 64-bit suites under Wine on a virtual X display (32-bit programs cannot run here);
#  3. the 64-bit intro under Wine: Cancel in the dialog exits 1; Return starts it at 640 x 480, a
#     screenshot shows the rings, the ring text and the backdrop, Escape exits 0; the music, caught
#     by an ALSA default device that writes to a file, is the module as bfrender renders it.
# BFRENDER names the Linux bfrender used for the comparison (default build/bin/bfrender);
# SKIP_SUITES=1 leaves out step 2.
set -euo pipefail
cd "$(dirname "$0")/.."

W32=build-win32
W64=build-win64
SUITES=build-win64-tests
WORK=$SUITES/wine
BFRENDER=${BFRENDER:-build/bin/bfrender}
WINE=$(command -v wine64 || true)
[ -n "$WINE" ] || WINE=/usr/lib/wine/wine64
EXE=$W64/bin/brackenfold.exe

fail() { echo "test-windows: FAIL: $*" >&2; exit 1; }
started=$SECONDS
step() { echo "== [$((SECONDS - started)) s] $*"; }

# --- 1. PE headers -------------------------------------------------------------------------
check_pe() {
  local exe=$1 format=$2 objdump=$3 dump dll
  [ -f "$exe" ] || fail "$exe is missing (make windows)"
  dump=$($objdump -p "$exe")
  grep -q "file format $format" <<<"$dump" || fail "$exe: not $format"
  grep -q "Subsystem.*(Windows GUI)" <<<"$dump" || fail "$exe: not a GUI program"
  for dll in $(awk '/DLL Name:/ {print toupper($3)}' <<<"$dump"); do
    case $dll in
      KERNEL32.DLL | USER32.DLL | GDI32.DLL | OPENGL32.DLL | GLU32.DLL | WINMM.DLL | MSVCRT.DLL) ;;
      *) fail "$exe imports $dll" ;;
    esac
  done
  echo "$exe: $format, GUI, imports $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$dump")($(stat -c %s "$exe") bytes)"
}
# The program checked here is the one released: the release build, and the file in the archive.
check_released() {
  local exe=$1 build=$2 zip=$3
  grep -q '^CMAKE_BUILD_TYPE:STRING=MinSizeRel$' "$build/CMakeCache.txt" || fail "$exe is not the release build"
  [ -f "$zip" ] || { echo "$exe: no $zip to compare with (make release)"; return 0; }
  python3 - "$zip" "$exe" <<'PY' || fail "$exe is not the program in $zip (make release again)"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[2], "rb") as f:
    sys.exit(0 if z.read("brackenfold.exe") == f.read() else 1)
PY
  echo "$exe: the program in $zip"
}
step "PE headers"
check_pe $W32/bin/brackenfold.exe pei-i386 i686-w64-mingw32-objdump
check_pe $EXE pei-x86-64 x86_64-w64-mingw32-objdump
check_released $W32/bin/brackenfold.exe $W32 dist/brackenfold-win32.zip
check_released $EXE $W64 dist/brackenfold-win64.zip

# --- Wine on a virtual display, sound into a file --------------------------------------------
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
xvfb=$!
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$WORK/prefix timeout 20 wineserver -k 2>/dev/null || true
  kill $xvfb 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
export DISPLAY=:$display
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cat >"$WORK/asound.conf" <<CONF
# The default device writes what it is given to a WAV file and plays it nowhere.
pcm.!default {
  type file
  slave { pcm { type null } }
  file "$WORK/capture.wav"
  format "wav"
}
CONF
export ALSA_CONFIG_PATH=$WORK/asound.conf
step "Wine prefix"
if [ ! -d "$WINEPREFIX" ]; then
  # Let the first start finish everything it starts (the first dialog would otherwise come late).
  "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1
  wineserver -w
fi
# One server for all the programs below, not one start per program. Its services start with the
# first program and keep that program's output open: let that program be wineboot, writing to a
# file, so that ctest does not wait on them for the end of a test's output.
wineserver -p
"$WINE" wineboot >>"$WORK/wineboot.log" 2>&1

# --- 2. the suites ---------------------------------------------------------------------------
step "suites under Wine"
# One at a time: the window and dialog suites share the display.
[ -n "${SKIP_SUITES:-}" ] || ctest --test-dir $SUITES --output-on-failure -j1 || fail "suites under Wine"

# --- 3. the program --------------------------------------------------------------------------
# Waits for a top-level window whose title is exactly $1; prints its id.
window_named() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Types key $2 into window $1 as the user would.
# A window found early may not be mapped yet, and X refuses the focus then: try again a while.
type_key() {
  for _ in $(seq 50); do
    xdotool windowfocus --sync "$1" 2>/dev/null && break
    sleep 0.1
  done
  # Xvfb may hang up on a connection that comes just as another client's goes; nothing was typed.
  for _ in 1 2 3 4 5; do
    xdotool key "$2" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
start_intro() {
  "$WINE" "$EXE" >"$WORK/intro.log" 2>&1 &
  intro=$!
  pids+=("$intro")
}

step "dialog, Cancel"
start_intro
options=$(window_named Options) || fail "the dialog \"Options\" did not show"
type_key "$options" Escape
code=0
wait $intro || code=$?
[ "$code" = 1 ] || fail "Cancel ended with $code, not 1"

step "dialog, Return, the intro, Escape"
rm -f "$WORK/capture.wav"
start_intro
options=$(window_named Options) || fail "the dialog \"Options\" did not show"
type_key "$options" Return
window=$(window_named Brackenfold) || fail "no intro window after Return"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] || fail "intro window is ${WIDTH}x$HEIGHT, not 640x480"
sleep 4
ffmpeg -loglevel error -y -f x11grab -video_size 640x480 -i ":$display+$X,$Y" -frames:v 1 "$WORK/intro.png"
ffmpeg -loglevel error -y -i "$WORK/intro.png" -f rawvideo -pix_fmt rgb24 "$WORK/intro.rgb"
# A key typed while X moves the focus can be lost (seen once in many runs): while the program
# still runs 10 s after Escape, type it again, twice at most; then end it and fail rather than
# wait for ever (the file device would fill the disk with music meanwhile).
for try in 1 2 3; do
  type_key "$window" Escape
  for _ in $(seq 100); do kill -0 $intro 2>/dev/null || break; sleep 0.1; done
  kill -0 $intro 2>/dev/null || break
  echo "test-windows: the program still runs 10 s after Escape ($try)"
done
if kill -0 $intro 2>/dev/null; then
  kill $intro
  fail "Escape did not end the program"
fi
code=0
wait $intro || code=$?
[ "$code" = 0 ] || fail "Escape ended with $code, not 0"

# Deep red rings, white letters, and the backdrop's layers in softer colours (which colours
# depends on the moment of the cross-fade): each must cover part of the picture.
read -r red white soft total < <(od -An -v -tu1 -w3 "$WORK/intro.rgb" | awk '
  { r = $1; g = $2; b = $3; n++
    hi = r; if (g > hi) hi = g; if (b > hi) hi = b
    lo = r; if (g < lo) lo = g; if (b < lo) lo = b
    if (r > 90 && r > 2 * g && r > 2 * b) red++
    else if (lo > 200) white++
    else if (hi > 60 && lo > 0.3 * hi) soft++ }
  END { print red + 0, white + 0, soft + 0, n }')
echo "screenshot $WORK/intro.png: $red ring red, $white white, $soft backdrop of $total pixels"
[ "$total" = 307200 ] || fail "screenshot is not 640 x 480"
[ "$red" -gt 3000 ] || fail "no rings in the screenshot"
[ "$white" -gt 100 ] || fail "no ring text in the screenshot"
[ "$soft" -gt 10000 ] || fail "no backdrop in the screenshot"

step "music"
[ -s "$WORK/capture.wav" ] || fail "nothing reached the ALSA device"
module=$(awk 'toupper($1) == "SOUND" && $2 == 184 { print $3 }' resources/resources.txt)
[ -n "$module" ] || fail "the manifest lists no module 184"
[ -x "$BFRENDER" ] || fail "no $BFRENDER to compare the music with (make build, or set BFRENDER)"
"$BFRENDER" "resources/$module" "$WORK/bfrender.wav" --seconds 2 --rules intro >/dev/null
# Both files: a 44-byte header, then 16-bit stereo at 44100 Hz. The first ring (2 s) is
# rendered before the device starts, so the device must have been given exactly those bytes.
head -c 44 "$WORK/capture.wav" | od -An -tu2 -j22 -N2 | grep -qw 2 || fail "capture is not stereo"
head -c 44 "$WORK/capture.wav" | od -An -tu4 -j24 -N4 | grep -qw 44100 || fail "capture is not 44100 Hz"
bytes=$((2 * 44100 * 4))
cmp -s -n $bytes -i 44:44 "$WORK/bfrender.wav" "$WORK/capture.wav" || fail "the first 2 s played differ from bfrender's render"
loud=$(od -An -v -td2 -j44 -N$bytes "$WORK/capture.wav" | awk '{ for (i = 1; i <= NF; i++) if ($i > 1000 || $i < -1000) n++ } END { print n + 0 }')
echo "music: the first 2 s match bfrender byte for byte, $loud of $((bytes / 2)) samples louder than 1000; captured $(( ($(stat -c %s "$WORK/capture.wav") - 44) / 4 )) frames"
[ "$loud" -gt 10000 ] || fail "the music is silent"

step "done"
