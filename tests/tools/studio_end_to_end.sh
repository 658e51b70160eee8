#!/usr/bin/env bash
# studio_end_to_end.sh STUDIO CAPTURE KESTO PACK SHOW_TXT WORK: hallshow-studio as an author meets
# it, in a copy of the demo show (PACK's music and photos, SHOW_TXT with "bpm 120" put in), under
# Xvfb with SDL's disk audio driver, driven by xdotool keys and watched through its state file
# (HALLSHOW_STUDIO_STATE) and screenshots:
#   - paused at 10 s without the overlay, the picture is hallshow-capture's at 10 s;
#   - a save that turns the photos red shows within a second, the music plays on, and kestos/ is
#     what kesto build writes;
#   - a broken save keeps the picture and shows the fault; the next sound save clears it;
#   - Right goes to the next beat line (a multiple of 10 rows at 120 bpm), a pause holds the row,
#     the loop returns;
#   - "happy" = 2 pauses instead of quitting, and Escape exits 0.
# WORK keeps the screenshots, the state and the logs for a look when it fails.
set -uo pipefail
[ $# -eq 6 ] || { echo "usage: studio_end_to_end.sh STUDIO CAPTURE KESTO PACK SHOW_TXT WORK" >&2; exit 2; }
if [ -z "${HALLSHOW_E2E_DISPLAY:-}" ]; then
  # Before any display: the ways it refuses to start, each with one line and its exit code.
  empty=$(mktemp -d) program=$(realpath "$1")
  out=$(cd "$empty" && env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>&1); rc=$?
  [ $rc -eq 1 ] && [[ "$out" == *"hallshow-studio: cannot read show.txt"* ]] ||
    { echo "FAIL: without show.txt: exit code $rc, '$out'" >&2; early=1; }
  touch "$empty/show.txt"
  out=$(cd "$empty" && env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>&1); rc=$?
  [ $rc -eq 1 ] && [[ "$out" == *"hallshow-studio: no display to show on: "* ]] ||
    { echo "FAIL: without a display: exit code $rc, '$out'" >&2; early=1; }
  out=$("$1" --at soon 2>&1); rc=$?
  [ $rc -eq 2 ] && [[ "$out" == *"--at \"soon\": not a time"* ]] || { echo "FAIL: --at soon: exit code $rc" >&2; early=1; }
  out=$("$1" --version); rc=$?
  [ $rc -eq 0 ] && [[ "$out" == "hallshow-studio "[0-9]* ]] || { echo "FAIL: --version: '$out'" >&2; early=1; }
  rm -rf "$empty"
  [ -z "${early:-}" ] || exit 1
  # The window's size is the screen's, so a screenshot of the screen is one of the window.
  HALLSHOW_E2E_DISPLAY=1 exec xvfb-run -a -s "-screen 0 640x360x24 -noreset" "$0" "$@"
fi
studio=$(realpath "$1") capture=$(realpath "$2") kesto=$(realpath "$3") pack=$(realpath "$4") text=$(realpath "$5")
work=$6
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")
show=$work/show
mkdir -p "$show"
cp -r "$pack/e12.mp3" "$pack/hall.photo" "$show/"
# The test's own tempo, whatever the demo text says about its own.
{ echo "bpm 120"; grep -v -E '^[[:space:]]*(bpm|beats)[[:space:]]' "$text"; } >"$show/show.txt"
cp "$show/show.txt" "$work/original.txt"

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/audio.raw HALLSHOW_STUDIO_STATE=$work/state
status=0
source "$(dirname "$0")/studio_test_helpers.sh"
calc() { awk "BEGIN { printf \"%.6f\\n\", $* }"; }
holds() { awk "BEGIN { exit !($*) }"; }
# The largest value of one channel (R, G or B) of a screenshot, 0 to 1, within an optional crop.
channel_max() { convert "$work/$1.png" ${3:+-crop "$3"} -channel "$2" -separate -format "%[fx:maxima]" info:; }
save() {  # save FILE: the show text replaced as editors do, written beside it and renamed
  cp "$1" "$show/show.txt.swp" && mv "$show/show.txt.swp" "$show/show.txt"
}
# The text without the sections of the tracks named.
without_tracks() {
  local file=$1; shift
  awk -v names="$*" 'BEGIN { n = split(names, a, " "); for (i = 1; i <= n; ++i) drop[a[i]] = 1 }
    { line = $0; sub(/#.*/, "", line); n = split(line, w, " ") }
    n == 1 && w[1] ~ /^[a-z]/ { skipping = (w[1] in drop) }
    !skipping { print }' "$file"
}

pid=""
launch() {  # launch NAME ARGS...: the studio in the show folder, until its first frames
  rm -f "$work/state"
  (cd "$show" && exec "$studio" "${@:2}") >"$work/$1.log" 2>&1 &
  pid=$!
  # Loading the photos takes long under the sanitizers on a busy machine.
  if ! until_true 240 eval '[ "$(state frame)" -ge 5 ] 2>/dev/null || ! kill -0 $pid 2>/dev/null'; then
    fail "$1: no frames after 240 s"
  fi
  kill -0 "$pid" 2>/dev/null || { fail "$1: the studio ended at start (log: $work/$1.log)"; return 1; }
}
finish() {  # finish NAME: Escape, and the studio ends with 0
  xdotool key Escape
  until_true 30 eval '! kill -0 $pid 2>/dev/null' || { fail "$1: still running after Escape"; kill "$pid"; }
  wait "$pid"
  local rc=$?
  [ "$rc" -eq 0 ] || fail "$1: exit code $rc after Escape, expected 0"
  echo "$1: Escape, exit code $rc"
}

# ---- the picture is the show's
if launch main --window 640x360 --at 10s --paused --no-overlay; then
  sleep 1
  shot at10
  (cd "$show" && "$capture" --at 10s --size 640x360 --output "$work/capture.png" >/dev/null 2>"$work/capture.log") ||
    fail "hallshow-capture failed (log: $work/capture.log)"
  # Two software renderers behind two kinds of context may round a colour here and there.
  diff=$(differing at10 capture)
  holds "${diff:-999999} <= 640 * 360 / 1000" || fail "the paused picture differs from hallshow-capture's in $diff pixels"
  echo "picture at 10 s: $diff pixels differ from hallshow-capture's"

  # ---- live: red photos, the music going on, kestos/ as kesto build writes it
  xdotool key space
  until_true 10 eval '[ "$(state paused)" = 0 ]' || fail "Space did not start the music"
  sleep 1
  music0=$(state music) generation0=$(state generation)
  { without_tracks "$work/original.txt" back.r back.g back.b beard.r beard.g beard.b happy
    printf 'back.r\n 0 1 step\nback.g\n 0 0 step\nback.b\n 0 0 step\n'
    printf 'beard.r\n 0 1 step\nbeard.g\n 0 0 step\nbeard.b\n 0 0 step\nhappy\n 0 0 step\n'; } >"$work/red.txt"
  saved_at=$(date +%s.%N)
  save "$work/red.txt"
  if until_true 20 eval '[ "$(state generation)" -gt "$generation0" ]'; then
    shown=$(state shown_at)
    latency=$(calc "$shown - $saved_at")
    echo "red save: on screen ${latency}s after the save"
    holds "$latency < 1.0" || fail "the red save reached the picture after ${latency}s, not within a second"
    music1=$(state music)
    holds "$music1 > $music0" || fail "the music went from ${music0}s to ${music1}s across the save (restarted?)"
    sleep 0.5
    shot red
    green=$(channel_max red G) blue=$(channel_max red B) red=$(channel_max red R)
    holds "$green < 0.03 && $blue < 0.03 && $red > 0.2" ||
      fail "the picture is not red after the save (max R $red, G $green, B $blue)"
    holds "$(state music) > $music1" || fail "the music stopped after the save"
  else
    fail "the red save was never applied (error: $(state error))"
  fi
  "$kesto" build "$show/show.txt" "$work/built" >/dev/null || fail "kesto build failed"
  diff -r "$work/built/kestos" "$show/kestos" >/dev/null || fail "kestos/ differs from what kesto build writes"

  # ---- a broken save keeps the picture and shows the fault; a sound one clears it
  xdotool key space
  until_true 10 eval '[ "$(state paused)" = 1 ]' || fail "Space did not pause"
  sleep 0.5
  shot before_fault
  generation1=$(state generation)
  { cat "$work/red.txt"; printf 'back.q\n 0 1 step\n'; } >"$work/broken.txt"
  fault_line=$(($(wc -l <"$work/red.txt") + 1))
  save "$work/broken.txt"
  until_true 20 eval '[ -n "$(state error)" ]' || fail "the broken save shows no fault"
  expected="show.txt:$fault_line: unknown track 'back.q'"
  [[ "$(state error)" == "$expected"* ]] || fail "the fault reads '$(state error)', expected '$expected ...'"
  sleep 0.5
  shot fault
  [ "$(state generation)" = "$generation1" ] || fail "the broken save was applied"
  # The photos stay as they were; the fault is written along the bottom.
  [ "$(differing before_fault fault 640x240+0+0)" = 0 ] || fail "the broken save changed the picture"
  [ "$(differing before_fault fault 640x120+0+240)" != 0 ] || fail "the fault is not on screen"
  save "$work/original.txt"
  until_true 20 eval '[ -z "$(state error)" ] && [ "$(state generation)" -gt "$generation1" ]' ||
    fail "the sound save did not clear the fault (error: $(state error))"
  sleep 0.5
  shot sound_again
  holds "$(channel_max sound_again G) > 0.2" || fail "the photos are still red after the sound save"

  # ---- beats, pause and loop at 120 bpm
  row0=$(state row)
  xdotool key Right
  until_true 10 eval '[ "$(state row)" != "$row0" ]'
  row1=$(state row)
  next_beat=$(awk "BEGIN { printf \"%.6f\", (int($row0 / 10 + 1e-9) + 1) * 10 }")
  holds "$row1 == $next_beat" || fail "Right moved from row $row0 to $row1, not to the next beat line $next_beat"
  sleep 1
  [ "$(state row)" = "$row1" ] || fail "paused, the row moved from $row1 to $(state row)"
  xdotool key bracketleft key Right key Right key bracketright key l
  loop_end=$(calc "$row1 + 20")
  until_true 10 eval '[ "$(state loop)" = "$(printf "%.6f %.6f 1" "$row1" "$loop_end")" ]' ||
    fail "the loop reads '$(state loop)', expected $row1 to $loop_end, on"
  xdotool key space
  until_true 30 eval '[ "$(state loops)" -ge 1 ]' || fail "the loop never started over"
  for _ in 1 2 3 4 5; do
    r=$(state row)
    holds "$r >= $row1 && $r <= $loop_end + 1" || fail "looping, the row $r lies outside $row1 to $loop_end"
    sleep 0.3
  done
  echo "loop: started over $(state loops) times between rows $row1 and $loop_end"
  finish main
fi

# ---- the end of the show pauses
{ without_tracks "$work/original.txt" happy; printf 'happy\n 0 0 step\n 14s 2 step\n'; } >"$work/ending.txt"
cp "$work/ending.txt" "$show/show.txt"
if launch ending --window 640x360 --at 12s; then
  until_true 60 eval '[ "$(state end_of_show)" = 1 ]' || fail "the end of the show was never reached"
  [ "$(state paused)" = 1 ] || fail "at the end of the show the studio is not paused"
  row=$(state row)
  holds "$row >= 280 && $row < 290" || fail "the show ended at row $row, expected 280 (14 s)"
  sleep 2
  kill -0 "$pid" 2>/dev/null || fail "the studio quit at the end of the show"
  [ "$(state row)" = "$row" ] || fail "at the end of the show the row moved on"
  shot ending
  finish ending
fi

[ $status -eq 0 ] && echo "studio end to end: passed"
exit $status
