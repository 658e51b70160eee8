#!/usr/bin/env bash
# hallshow as a user meets it, in a folder with no content: without a display it says why and
# exits 1; on a virtual X server it opens its fullscreen window, keeps rendering, ignores other
# keys and the left button, and ends with exit code 0 on Escape, a right click, a window close or
# the window's destruction. It prints nothing while it runs, even over damaged photos.
# Usage: shell_end_to_end.sh PATH_TO_HALLSHOW
set -uo pipefail
hallshow=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
export SDL_AUDIODRIVER=dummy
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if [ -z "${HALLSHOW_E2E_DISPLAY_UP:-}" ]; then
  # No display at all.
  folder=$(mktemp -d)
  err=$(cd "$folder" && env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$hallshow" 2>&1 >/dev/null)
  rc=$?
  rm -rf "$folder"
  [ $rc -eq 1 ] || fail "no display: exit code $rc, expected 1"
  grep -q "^hallshow: no display to show on: ." <<<"$err" || fail "no display: no message naming the cause, got: $err"
  echo "no display: exit code $rc, '$(grep '^hallshow:' <<<"$err")'"

  # -noreset: Xvfb otherwise resets whenever its last client leaves, and a show started between
  # two cases could find no server to connect to.
  HALLSHOW_E2E_DISPLAY_UP=1 HALLSHOW_E2E_FAILURES=$failures \
    exec xvfb-run -a -s "-screen 0 1280x720x24 -noreset" "$0" "$@"
fi
failures=${HALLSHOW_E2E_FAILURES:-0}

# Photos that make the image libraries complain: a PNG with a damaged byte in its image data
# (libpng prints "libpng error: IDAT: ..."), a JPEG and a CMYK JPEG cut short.
damaged_photos() {  # damaged_photos FOLDER
  mkdir -p "$1/hall.photo"
  convert -size 64x48 gradient:orange-navy "$1/hall.photo/01.png"
  local idat
  idat=$(grep -boa IDAT "$1/hall.photo/01.png" | head -1 | cut -d: -f1)
  printf '\x55' | dd of="$1/hall.photo/01.png" bs=1 seek=$((idat + 8)) conv=notrunc status=none
  convert -size 64x48 gradient:orange-navy -quality 90 "$1/cut.jpg"
  convert -size 64x48 gradient:orange-navy -colorspace CMYK "$1/cut-cmyk.jpg"
  head -c 400 "$1/cut.jpg" >"$1/hall.photo/00.jpg"
  head -c 400 "$1/cut-cmyk.jpg" >"$1/hall.photo/05.JPG"
}

pid=""
folder=""
start() {  # start CASE [now|damaged]: hallshow in a fresh folder (empty, or with damaged photos), its window found; sets pid, window
  local settle=1  # past the start-up sequence, into the frame loop
  [ "${2:-}" = now ] && settle=0
  folder=$(mktemp -d)
  [ "${2:-}" = damaged ] && damaged_photos "$folder"
  (cd "$folder" && exec "$hallshow") >"$folder.out" 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 600); do  # up to 60 s: the sanitizer build on a software renderer is slow
    window=$(xdotool search --class '^Thing$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$window" ] || { fail "$1: no window of class Thing appeared"; return 1; }
  sleep "$settle"
  kill -0 "$pid" 2>/dev/null || { fail "$1: hallshow ended on its own"; return 1; }
}

expect_exit() {  # expect_exit CASE CODE: hallshow ends within 20 s with CODE
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$1: still running"
    kill "$pid"
  fi
  wait "$pid"
  local rc=$?
  [ "$rc" -eq "$2" ] || fail "$1: exit code $rc, expected $2"
  echo "$1: exit code $rc"
  [ -s "$folder.out" ] && fail "$1: the show printed: $(head -c 300 "$folder.out")"
  rm -rf "$folder" "$folder.out"
}

# The window: borderless, the whole screen, title "", and it paints the screen black.
if start "window"; then
  geometry=$(xdotool getwindowgeometry "$window")
  grep -q "Position: 0,0" <<<"$geometry" || fail "window: not at (0, 0): $geometry"
  grep -q "Geometry: 1280x720" <<<"$geometry" || fail "window: not screen-sized: $geometry"
  [ "$(xdotool getwindowname "$window")" = "" ] || fail "window: title is not empty"
  xprop -id "$window" WM_CLASS | grep -q '"Thing", "Thing"' || fail "window: class is not Thing"
  shot=$(mktemp --suffix=.xwd)
  # Xvfb's root is a grey weave; all black means the show's frames cover the whole screen. The
  # loading frames' white glyphs may still be up on a slow machine, so look a few times.
  for _ in $(seq 40); do
    brightest=""
    xwd -root -silent >"$shot" && brightest=$(convert "xwd:$shot" -format '%[max]' info:)
    [ "$brightest" = "0" ] && break
    sleep 0.5
  done
  rm -f "$shot"
  [ "${brightest:-x}" = "0" ] || fail "window: the screen is not all black (brightest ${brightest:-?})"
  kill -0 "$pid" 2>/dev/null || fail "window: hallshow stopped while rendering"
  xdotool key Escape
  expect_exit "window, then Escape" 0
fi

if start "Escape"; then
  xdotool key Escape
  expect_exit "Escape" 0
fi

if start "right click"; then
  xdotool mousemove 640 360 click 3
  expect_exit "right click" 0
fi

# Inputs during start-up are not lost: they take effect once the frame loop runs.
if start "right click during start-up" now; then
  xdotool mousemove 640 360 click 3
  expect_exit "right click during start-up" 0
fi

if start "Escape during start-up" now; then
  xdotool key Escape
  expect_exit "Escape during start-up" 0
fi

# The image libraries' complaints about damaged photos never reach the terminal.
if start "damaged photos" damaged; then
  xdotool key Escape
  expect_exit "damaged photos, then Escape" 0
fi

if start "window close"; then
  "$here/close_window.py" "$window" || fail "window close: could not send WM_DELETE_WINDOW"
  expect_exit "window close" 0
fi

if start "window destroyed"; then
  xdotool windowclose "$window"  # XDestroyWindow, as when the window is torn down from outside
  expect_exit "window destroyed" 0
fi

if start "other inputs"; then
  xdotool key a key space key Return key q
  xdotool mousemove 100 100 click 1 click 2
  xdotool mousemove 900 500 click 1
  sleep 2
  if kill -0 "$pid" 2>/dev/null; then
    echo "other keys, left and middle button: still running"
  else
    fail "other inputs: hallshow ended"
  fi
  xdotool key Escape  # and Escape still works after them
  expect_exit "Escape after other inputs" 0
fi

[ "$failures" -eq 0 ] && echo "all shell end-to-end checks passed"
exit $((failures > 0))
