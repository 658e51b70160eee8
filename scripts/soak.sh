#!/usr/bin/env bash
# Soak test of hallshow-studio (not part of scripts/test.sh): the studio, built with the address and
# undefined-behaviour sanitizers, plays a copy of the demo show under Xvfb for MINUTES while this
# script changes its files at random, up to 20 times a second: the show text saved sound, saved
# broken, written in place in two halves, deleted and saved again; photos replaced by other photos,
# cut short, or given a header that claims 30000 x 30000 pixels, and put back.
#   scripts/soak.sh MINUTES
# Passes when the studio never crashes and the sanitizers report nothing, when its resident memory
# after the first minute stays within 50 MB of what it reached in that minute (a photo read again
# holds its decode for a moment, a picture's 64 MiB square among it, so single readings swing by
# more than that; the peaks do not, unless memory grows), and when, after a last sound save and
# Escape, kestos/ holds what "kesto build" writes for that text. Prints its figures; keeps its
# logs in build/soak/ (rss.log: seconds and resident KiB, once a second).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
minutes=${1:-}
case "$minutes" in
  '' | *[!0-9]* | 0) echo "usage: scripts/soak.sh MINUTES" >&2; exit 2 ;;
esac
work=$root/build/soak

if [ -z "${HALLSHOW_SOAK_DISPLAY:-}" ]; then
  scripts/build.sh asan hallshow-studio >/dev/null &&
    scripts/build.sh release kesto demo_photos demo_music >/dev/null ||
    { echo "soak: build failed" >&2; exit 1; }
  mkdir -p "$work"
  demo/make_pack.sh build/release "$work/pack" >/dev/null || { echo "soak: cannot make the demo show" >&2; exit 1; }
  HALLSHOW_SOAK_DISPLAY=1 exec xvfb-run -a -s "-screen 0 640x360x24 -noreset" "$0" "$@"
fi

studio=$root/build/asan/tools/hallshow-studio kesto=$root/build/release/tools/kesto
show=$work/show pristine=$work/pristine
rm -rf "$show" "$pristine" "$work"/*.log "$work/state" && mkdir -p "$show" "$pristine"
cp -r "$work/pack/e12.mp3" "$work/pack/hall.photo" "$work/pack/kestos" "$show/"
cp -r "$work/pack/hall.photo" "$pristine/"
cp demo/show.txt "$pristine/show.txt"
cp "$pristine/show.txt" "$show/show.txt"

# The photos the studio watches, and a forged copy of the first JPEG and PNG among them.
mapfile -t photos < <(cd "$show" && ls hall.photo/*)
forge() {  # forge FILE OFFSET: the 8 bytes at OFFSET become 30000 x 30000 (as a JPEG frame header
  local file=$1 at=$2   # stores height then width in 16 bits, a PNG's IHDR width then height in 32)
  if [[ "$file" == *.png ]]; then
    printf '\x00\x00\x75\x30\x00\x00\x75\x30' | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
  else
    printf '\x75\x30\x75\x30' | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
  fi
}
jpeg=$(printf '%s\n' "${photos[@]}" | grep -i '\.jpg$' | head -1)
png=$(printf '%s\n' "${photos[@]}" | grep -i '\.png$' | head -1)
cp "$pristine/$jpeg" "$work/huge.jpg" && cp "$pristine/$png" "$work/huge.png"
sof=$(LC_ALL=C grep -obUaP '\xff[\xc0\xc2]' "$work/huge.jpg" | head -1 | cut -d: -f1)
forge "$work/huge.jpg" $((sof + 5)) && forge "$work/huge.png" 16

export SDL_AUDIODRIVER=dummy HALLSHOW_STUDIO_STATE=$work/state
# A small quarantine, so that freed memory the sanitizer holds back for a while does not pass for
# growth; any report ends the studio.
export ASAN_OPTIONS=quarantine_size_mb=32:detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$show" && exec "$studio") >"$work/studio.log" 2>&1 &
pid=$!
for _ in $(seq 2400); do  # loading under the sanitizers on a busy machine takes a while
  frame=$(awk '$1 == "frame" { print $2 }' "$work/state" 2>/dev/null)
  [ "${frame:-0}" -ge 5 ] 2>/dev/null && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
kill -0 $pid 2>/dev/null || { echo "soak: FAILED, the studio ended while starting (see $work/studio.log)"; exit 1; }

rss() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$pid/status" 2>/dev/null; }
valid_text() {  # the demo show with a key of its own at the end, different every time
  { cat "$pristine/show.txt"; echo "  99999 0.$RANDOM linear"; } >"$work/next.txt"
}
save() {  # save FILE: written beside the text and renamed over it, as editors save
  cp "$1" "$show/show.txt.swp" && mv "$show/show.txt.swp" "$show/show.txt"
}

changes=0 valid=0 broken=0 halves=0 deletions=0 photo_changes=0
start=$(date +%s) end=$(( $(date +%s) + minutes * 60 ))
first_peak=0 peak=0 first_rss=$(rss) last_sample=0 sampled_after=false
: >"$work/rss.log"
while [ "$(date +%s)" -lt "$end" ] && kill -0 $pid 2>/dev/null; do
  case $((RANDOM % 10)) in
    0 | 1 | 2)
      valid_text && save "$work/next.txt" && cp "$work/next.txt" "$work/last_valid.txt"; valid=$((valid + 1)) ;;
    3)
      { cat "$pristine/show.txt"; echo "  oops"; echo "back.q"; } >"$work/broken.txt" && save "$work/broken.txt"
      broken=$((broken + 1)) ;;
    4)
      valid_text && head -c $(( $(wc -c <"$work/next.txt") / 2 )) "$work/next.txt" >"$show/show.txt"
      sleep 0.0$((RANDOM % 10))
      cat "$work/next.txt" >"$show/show.txt" && cp "$work/next.txt" "$work/last_valid.txt"
      halves=$((halves + 1)) ;;
    5)
      rm -f "$show/show.txt"; deletions=$((deletions + 1)) ;;
    *)
      photo=${photos[$((RANDOM % ${#photos[@]}))]}
      case $((RANDOM % 4)) in
        0) cp "$pristine/$photo" "$show/$photo.swp" ;;
        1) head -c $((RANDOM % 4000)) "$pristine/$photo" >"$show/$photo.swp" ;;
        2) if [[ "$photo" == *.png ]]; then cp "$work/huge.png" "$show/$photo.swp"
           elif [[ "$photo" == *.[jJ][pP][gG] ]]; then cp "$work/huge.jpg" "$show/$photo.swp"
           else cp "$pristine/$photo" "$show/$photo.swp"; fi ;;
        3) other=${photos[$((RANDOM % ${#photos[@]}))]}; cp "$pristine/$other" "$show/$photo.swp" ;;
      esac
      mv "$show/$photo.swp" "$show/$photo"
      photo_changes=$((photo_changes + 1)) ;;
  esac
  changes=$((changes + 1))
  now=$(date +%s)
  if [ "$now" -ne "$last_sample" ]; then  # resident memory once a second
    last_sample=$now
    r=$(rss)
    if [ -n "$r" ]; then
      echo "$((now - start)) $r" >>"$work/rss.log"
      if [ $((now - start)) -lt 60 ]; then
        [ "$r" -gt "$first_peak" ] && first_peak=$r
      else
        sampled_after=true
        [ "$r" -gt "$peak" ] && peak=$r
      fi
    fi
  fi
  sleep 0.0$((RANDOM % 10))
done

status=0
fail() { echo "soak: FAILED: $*"; status=1; }
if ! kill -0 $pid 2>/dev/null; then
  wait $pid; fail "the studio ended by itself (exit $?) after $(( $(date +%s) - start )) s; see $work/studio.log"
else
  # The last word is a sound save; photos back as they were, so that the end is calm.
  for photo in "${photos[@]}"; do cp "$pristine/$photo" "$show/$photo"; done
  valid_text && save "$work/next.txt" && cp "$work/next.txt" "$work/last_valid.txt"
  sleep 2
  final_rss=$(rss)
  xdotool key Escape
  for _ in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then
    fail "still running 30 s after Escape"; kill $pid
  fi
  wait $pid; rc=$?
  [ $rc -eq 0 ] || fail "exit code $rc after Escape"
fi
if grep -q -E 'AddressSanitizer|LeakSanitizer|runtime error:' "$work/studio.log"; then
  fail "a sanitizer report in $work/studio.log"
fi
growth=$(( peak - first_peak ))
$sampled_after || fail "ran less than a minute: no resident memory after the first minute"
[ "$growth" -le 51200 ] || fail "resident memory grew by $((growth / 1024)) MB after the first minute"
# The lowest reading of each minute: what stays when no decode is under way.
floors=$(awk '{ m = int($1 / 60); if (!(m in low) || $2 < low[m]) low[m] = $2; if (m > last) last = m }
  END { for (m = 0; m <= last; ++m) printf "%s%d", (m ? " " : ""), low[m] / 1024 }' "$work/rss.log")
rm -rf "$work/built" && mkdir -p "$work/built"
if [ -f "$work/last_valid.txt" ] && "$kesto" build "$work/last_valid.txt" "$work/built" >/dev/null; then
  for f in "$work/built/kestos/"*; do
    cmp -s "$f" "$show/kestos/$(basename "$f")" || fail "kestos/$(basename "$f") is not what kesto build writes"
  done
else
  fail "kesto build of the last sound text failed"
fi
echo "soak: ${minutes} min, $changes changes ($valid sound saves, $halves written in halves, $broken broken," \
  "$deletions deletions, $photo_changes photos)"
echo "soak: resident memory $((${first_rss:-0} / 1024)) MB at the start, peak $((first_peak / 1024)) MB in the" \
  "first minute and $((peak / 1024)) MB after it (a difference of $((growth / 1024)) MB), $((${final_rss:-0} / 1024)) MB at the end"
echo "soak: lowest resident memory of each minute, MB: $floors"
[ $status -eq 0 ] && echo "soak: ok"
exit $status
