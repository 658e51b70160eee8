#!/usr/bin/env bash
# studio_fullscreen.sh STUDIO CAPTURE KESTO WORK: hallshow-studio fullscreen shows exactly the
# picture hallshow-capture --at makes at the screen's size, whether it was asked for by
# --fullscreen or by F, and again after F took it back to a window. Under Xvfb at 1920x1080 and
# 640x360 (a screen smaller than the studio's default window), with a small show made here.
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: studio_fullscreen.sh STUDIO CAPTURE KESTO WORK" >&2; exit 2; }
if [ -z "${HALLSHOW_FULLSCREEN_SCREEN:-}" ]; then
  status=0
  for screen in 1920x1080 640x360; do
    HALLSHOW_FULLSCREEN_SCREEN=$screen xvfb-run -a -s "-screen 0 ${screen}x24 -noreset" "$0" "$@" || status=1
  done
  [ $status -eq 0 ] && echo "studio fullscreen: passed"
  exit $status
fi
studio=$(realpath "$1") capture=$(realpath "$2") kesto=$(realpath "$3")
mkdir -p "$4" && work=$(realpath "$4")/$HALLSHOW_FULLSCREEN_SCREEN
rm -rf "$work" && mkdir -p "$work"
show=$work/show
mkdir -p "$show/hall.photo"
# A rotated photo over the backdrop: any offset, scale or cut of the picture shows.
convert -size 64x64 xc:'#e01010' -fill '#10e010' -draw 'rectangle 0,0 31,31' "$show/hall.photo/01.png"
convert -size 64x64 xc:'#1040e0' "$show/hall.photo/17.jpg"
printf 'back.n\n  0 1 step\nback.rotz\n  0 30 step\nback.x\n  0 1.2 step\nhappy\n  0 1 step\n' >"$show/show.txt"
"$kesto" build "$show/show.txt" "$show" >/dev/null || { echo "FAIL: kesto build" >&2; exit 1; }

export SDL_AUDIODRIVER=dummy
status=0
source "$(dirname "$0")/studio_test_helpers.sh"

# run_screen W H: every way into fullscreen on a W x H screen, inside its own Xvfb.
run_screen() {
  local w=$1 h=$2 dir=$work pid
  (cd "$show" && "$capture" --at 2s --size "${w}x$h" --output "$dir/capture.png" >/dev/null 2>&1) ||
    { fail "$w x $h: hallshow-capture failed"; return; }
  # same NAME: the screen is the capture, pixel for pixel (two software renderers may round a
  # colour here and there).
  same() {
    local diff
    diff=$(compare -metric AE "$dir/$1.png" "$dir/capture.png" null: 2>&1)
    awk "BEGIN { exit !(${diff:-999999} <= $w * $h / 1000) }" || fail "$w x $h, $1: $diff pixels differ from hallshow-capture --at"
    echo "$w x $h, $1: $diff pixels differ"
  }
  size_is() {
    local want=$1
    until_true 10 eval '[ "$(state size)" = "$want" ]' || fail "$w x $h, $2: the drawable is $(state size), not $want"
  }
  launch() {
    rm -f "$dir/state"
    (cd "$show" && HALLSHOW_STUDIO_STATE=$dir/state exec "$studio" --at 2s --paused --no-overlay "$@") >>"$dir/studio.log" 2>&1 &
    pid=$!
    until_true 120 eval '[ "$(state frame)" -ge 3 ] 2>/dev/null || ! kill -0 $pid 2>/dev/null'
    kill -0 "$pid" 2>/dev/null || { fail "$w x $h: the studio ended at start"; return 1; }
  }
  finish() { xdotool key Escape; until_true 20 eval '! kill -0 $pid 2>/dev/null' || kill "$pid"; wait "$pid"; }

  if launch --fullscreen --window 320x180; then
    size_is "${w}x$h" "--fullscreen"; sleep 0.5; shot option; same option
    xdotool key f
    size_is 320x180 "F out of fullscreen"
    xdotool key f
    size_is "${w}x$h" "F back into fullscreen"; sleep 0.5; shot option_f_f; same option_f_f
    finish
  fi
  if launch --window 320x180; then
    size_is 320x180 "windowed"
    xdotool key f
    size_is "${w}x$h" "F into fullscreen"; sleep 0.5; shot f; same f
    finish
  fi
}

run_screen "${HALLSHOW_FULLSCREEN_SCREEN%x*}" "${HALLSHOW_FULLSCREEN_SCREEN#*x}"
exit $status
