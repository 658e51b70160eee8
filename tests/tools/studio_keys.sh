#!/usr/bin/env bash
# studio_keys.sh STUDIO CAPTURE KESTO WORK: keys from the studio, under Xvfb with xdotool, in a
# small show made here whose text has comments and odd spacing:
#   - Left at 3.76 s with "bpm 120" lands on the beat line at 3.5 s;
#   - Down selects "back.x"; K sets a key at the play head's beat with the track's value there,
#     a typed value and Enter change it: show.txt changes only in back.x's block (every other
#     byte as it was), and the picture is then hallshow-capture's of the new kestos/;
#   - Ctrl+Z takes the edits back, byte for byte.
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: studio_keys.sh STUDIO CAPTURE KESTO WORK" >&2; exit 2; }
if [ -z "${HALLSHOW_KEYS_DISPLAY:-}" ]; then
  HALLSHOW_KEYS_DISPLAY=1 exec xvfb-run -a -s "-screen 0 640x360x24 -noreset" "$0" "$@"
fi
studio=$(realpath "$1") capture=$(realpath "$2") kesto=$(realpath "$3")
rm -rf "$4" && mkdir -p "$4" && work=$(realpath "$4")
show=$work/show
mkdir -p "$show/hall.photo"
convert -size 64x64 xc:'#e01010' -fill '#10e010' -draw 'rectangle 0,0 31,31' "$show/hall.photo/01.png"
convert -size 64x64 xc:'#1040e0' "$show/hall.photo/17.jpg"
cat >"$show/show.txt" <<'TEXT'
# a show with comments
bpm 120
back.n      # the photo
  0    1   step
back.x
  0    0   linear   # from the middle
	4s   1   step
# the backdrop
happy
  0 1 step
TEXT
cp "$show/show.txt" "$work/original.txt"

export SDL_AUDIODRIVER=dummy HALLSHOW_STUDIO_STATE=$work/state
status=0
source "$(dirname "$0")/studio_test_helpers.sh"
# same_text FILE WHAT: show.txt is FILE, byte for byte
same_text() { cmp -s "$show/show.txt" "$1" || { fail "$2: show.txt is not as expected"; diff "$1" "$show/show.txt" >&2; }; }
# generation_after N: waits for a reload past generation N
generation_after() { local past=$1; until_true 10 eval '[ "$(state generation)" -gt "$past" ] 2>/dev/null'; }

(cd "$show" && exec "$studio" --window 640x360 --at 3.76s --paused --no-overlay) >"$work/studio.log" 2>&1 &
pid=$!
until_true 120 eval '[ "$(state frame)" -ge 3 ] 2>/dev/null || ! kill -0 $pid 2>/dev/null'
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the studio ended at start" >&2; cat "$work/studio.log" >&2; exit 1; }

# ---- Left from 3.76 s: the beat line before it, 3.5 s (row 70), not 3.76 s - 0.5 s
[ "$(state row)" = "75.200000" ] || fail "the studio starts at row $(state row), not 75.2 (3.76 s)"
xdotool key Left
until_true 10 eval '[ "$(state row)" != "75.200000" ]'
[ "$(state row)" = "70.000000" ] || fail "Left from 3.76 s went to row $(state row), not 70 (3.5 s)"

# ---- K on back.x: a key at 2:4 (row 70) with back.x's value there, 0.875, in back.x's block
xdotool key Down
until_true 10 eval '[ "$(state track)" = back.x ]' || fail "Down selected $(state track), not back.x"
shot before
g=$(state generation)
xdotool key k
generation_after "$g" || fail "K changed nothing (generation $(state generation))"
sed 's/^  0    0   linear   # from the middle$/&\n  2:4  0.875  linear/' "$work/original.txt" >"$work/keyed.txt"
same_text "$work/keyed.txt" "K"
# ---- a typed value and Enter
g=$(state generation)
xdotool type 1.5
until_true 10 eval '[ "$(state input)" = 1.5 ]' || fail "the typed value reads '$(state input)', not 1.5"
xdotool key Return
generation_after "$g" || fail "Enter changed nothing"
sed 's/^  0    0   linear   # from the middle$/&\n  2:4  1.5  linear/' "$work/original.txt" >"$work/valued.txt"
same_text "$work/valued.txt" "a typed 1.5 and Enter"
sleep 0.5
shot valued
(cd "$show" && "$capture" --at 70 --size 640x360 --output "$work/capture.png" >/dev/null 2>&1) || fail "hallshow-capture failed"
diff=$(differing valued capture)
awk "BEGIN { exit !(${diff:-999999} <= 640 * 360 / 1000) }" || fail "after Enter the picture differs from hallshow-capture's in $diff pixels"
[ "$(differing before valued)" != 0 ] || fail "the picture did not follow the edit"
"$kesto" build "$show/show.txt" "$work/built" >/dev/null && diff -r "$work/built/kestos" "$show/kestos" >/dev/null ||
  fail "kestos/ is not what kesto build writes for the edited text"

# ---- Ctrl+Z, twice: the text as it was before each edit, byte for byte
g=$(state generation)
xdotool key ctrl+z
generation_after "$g" || fail "Ctrl+Z changed nothing"
same_text "$work/keyed.txt" "the first Ctrl+Z"
g=$(state generation)
xdotool key ctrl+z
generation_after "$g" || fail "the second Ctrl+Z changed nothing"
same_text "$work/original.txt" "the second Ctrl+Z"
sleep 0.5
shot undone
[ "$(differing before undone)" = 0 ] || fail "after undoing, the picture is not what it was"

# ---- show.txt deleted: a note until it is back
shot kept
mv "$show/show.txt" "$work/away.txt"
until_true 10 grep -q "show.txt is gone" "$work/studio.log" || fail "the deleted show.txt went unnoticed on the terminal"
sleep 0.5
shot gone
[ "$(differing kept gone)" != 0 ] || fail "the deleted show.txt shows no note"
mv "$work/away.txt" "$show/show.txt"
sleep 1
shot back
[ "$(differing kept back)" = 0 ] || fail "the note stays after show.txt is back"

# ---- a key saved into a show.txt that is a link, beside a link planted under the studio's old
# temporary name: the file linked to gets the edit and keeps its mode, the link stays a link, and
# nothing is written through the planted link
mkdir -p "$work/texts"
mv "$show/show.txt" "$work/texts/real.txt" && chmod 600 "$work/texts/real.txt"
ln -s "$work/texts/real.txt" "$show/show.txt"
echo "not the studio's" >"$work/victim.txt"
ln -s "$work/victim.txt" "$show/show.txt.studio-edit"
cp "$work/texts/real.txt" "$work/linked.txt"
g=$(state generation)
xdotool key k
generation_after "$g" || fail "K through the linked show.txt changed nothing"
[ "$(cat "$work/victim.txt")" = "not the studio's" ] || fail "the save wrote through a link planted beside show.txt"
[ -L "$show/show.txt" ] || fail "the save replaced the linked show.txt with a file"
[ "$(stat -c %a "$work/texts/real.txt")" = 600 ] || fail "the linked file's mode became $(stat -c %a "$work/texts/real.txt")"
cmp -s "$work/texts/real.txt" "$work/linked.txt" && fail "the linked file did not get the edit"
rm -f "$show/show.txt.studio-edit"

# ---- a photo that no longer decodes: said so, on the terminal with the decoder's reason
echo "not a picture" >"$show/hall.photo/01.png.new" && mv "$show/hall.photo/01.png.new" "$show/hall.photo/01.png"
until_true 10 grep -q "hall.photo/01.png cannot be decoded: it is no image" "$work/studio.log" ||
  fail "the broken photo is not reported on the terminal"

xdotool key Escape
until_true 20 eval '! kill -0 $pid 2>/dev/null' || { fail "still running after Escape"; kill "$pid"; }
wait "$pid"
[ $status -eq 0 ] && echo "studio keys: passed"
exit $status
