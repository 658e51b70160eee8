#!/usr/bin/env bash
# end_to_end.sh HALLSHOW PACK WORK: plays the demo show in PACK under Xvfb with SDL's disk audio
# driver and checks what a viewer would: loading frames first, then a moving, colourful picture,
# sound, and an end by itself with exit code 0 soon after the music's length. WORK keeps the
# screenshots and the audio for a look when it fails.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: end_to_end.sh HALLSHOW PACK WORK" >&2; exit 2; }
if [ -z "${HALLSHOW_E2E_DISPLAY:-}" ]; then
  # A small screen keeps software GL and the screenshots cheap; the show letterboxes to it.
  HALLSHOW_E2E_DISPLAY=1 exec xvfb-run -a -s "-screen 0 640x360x24 -noreset" "$0" "$@"
fi
hallshow=$1 pack=$2 work=$3
music_seconds=72.5 margin=150  # a guard against a hang: loading takes long under the sanitizers on a busy machine
rm -rf "$work" && mkdir -p "$work/shots"
fail() { echo "end_to_end: $*" >&2; status=1; }
status=0

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw"
(cd "$pack" && exec "$hallshow") >"$work/hallshow.log" 2>&1 &
pid=$!
start=$(date +%s.%N)
calc() { awk "BEGIN { print $* }"; }       # arithmetic on seconds, without bc
holds() { awk "BEGIN { exit !($*) }"; }
elapsed() { calc "$(date +%s.%N) - $start"; }

# A screenshot every half second while the show runs: "shots/<seconds>.png", 160 × 90.
limit=$(calc "$music_seconds + $margin")
while kill -0 "$pid" 2>/dev/null; do
  t=$(elapsed)
  if holds "$t > $limit"; then
    fail "still running after ${limit}s"
    kill "$pid"
    break
  fi
  if xwd -root -silent -display "$DISPLAY" -out "$work/shot.xwd" 2>/dev/null; then
    convert "$work/shot.xwd" -resize 160x90! "$work/shots/$(printf '%.2f' "$t").png" 2>/dev/null
  fi
  sleep 0.5
done
wait "$pid"
rc=$?
total=$(elapsed)
rm -f "$work/shot.xwd"
echo "end_to_end: hallshow exited with $rc after ${total}s"
[ "$rc" -eq 0 ] || fail "exit code $rc (log: $work/hallshow.log)"

# Each shot: its mean brightness and its most saturated pixel (HSL), 0 to 1.
: >"$work/shots.txt"
for shot in "$work"/shots/*.png; do
  [ -e "$shot" ] || continue
  mean=$(convert "$shot" -format "%[fx:mean]" info: 2>/dev/null)
  sat=$(convert "$shot" -colorspace HSL -channel G -separate -format "%[fx:maxima]" info: 2>/dev/null)
  echo "$(basename "$shot" .png) ${mean:-0} ${sat:-0}" >>"$work/shots.txt"
done
sort -n -o "$work/shots.txt" "$work/shots.txt"

# Loading frames are white glyphs on black: something bright, nothing coloured. The show draws
# coloured photos from its first frames on, however dim they are while they fade in.
first_show=$(awk '$3 > 0.3 {print $1; exit}' "$work/shots.txt")
if [ -z "$first_show" ]; then
  fail "no colourful frame of the show was ever seen"
else
  loading=$(awk -v t="$first_show" '$1 < t && $2 > 0.002 && $3 < 0.1' "$work/shots.txt" | wc -l)
  [ "$loading" -ge 1 ] || fail "no loading frame before the show's first frame at ${first_show}s"
  # The show ends within the music's length (plus a little) after its first frame.
  ran=$(calc "$total - $first_show")
  holds "$ran <= $music_seconds + 10" || fail "the show ran ${ran}s after its first frame, the music lasts ${music_seconds}s"
  holds "$ran >= $music_seconds - 10" || fail "the show ended ${ran}s after its first frame, before the music did"

  # Shots a few seconds apart through the show: not black, and all different from each other.
  picks=()
  for offset in 8 22 36 50 62; do
    pick=$(awk -v t="$(calc "$first_show + $offset")" '$1 >= t {print $1; exit}' "$work/shots.txt")
    [ -n "$pick" ] && picks+=("$pick")
  done
  [ ${#picks[@]} -eq 5 ] || fail "only ${#picks[@]} of 5 screenshots taken during the show"
  for p in "${picks[@]}"; do
    mean=$(awk -v t="$p" '$1 == t {print $2}' "$work/shots.txt")
    holds "$mean > 0.03" || fail "screenshot at ${p}s is black (mean $mean)"
  done
  for ((i = 0; i < ${#picks[@]}; ++i)); do
    for ((j = i + 1; j < ${#picks[@]}; ++j)); do
      diff=$(compare -metric RMSE "$work/shots/${picks[i]}.png" "$work/shots/${picks[j]}.png" null: 2>&1 |
        sed 's/.*(\(.*\))/\1/')
      holds "$diff > 0.02" || fail "screenshots at ${picks[i]}s and ${picks[j]}s are the same"
    done
  done
fi

# The disk driver writes what the show played, in real time from the moment the audio opens, so the
# loading time is silence and the music follows. In twenty slices of the file, those that sound (more
# than a few distinct byte values) must cover most of the music's length.
if [ ! -s "$work/audio.raw" ]; then
  fail "no audio was written"
else
  size=$(stat -c %s "$work/audio.raw")
  sounding=0
  for i in $(seq 0 19); do
    distinct=$(tail -c +$((size / 20 * i + 1)) "$work/audio.raw" | head -c 200000 | od -An -v -tu1 |
      tr -s ' ' '\n' | sort -u | wc -l)
    [ "$distinct" -gt 64 ] && sounding=$((sounding + 1))
  done
  needed=$(awk -v t="$total" -v m="$music_seconds" 'BEGIN { n = int(20 * (m - 15) / t); print n < 1 ? 1 : n }')
  [ "$sounding" -ge "$needed" ] ||
    fail "the audio is silent: $sounding of 20 slices sound, the music should fill at least $needed"
fi

[ $status -eq 0 ] && echo "end_to_end: passed" || cat "$work/shots.txt" >&2
exit $status
