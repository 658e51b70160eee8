#!/usr/bin/env bash
# bench/make/cards_bench.sh BUILD: what the cards cost hallshow-make, and the places' look-up. No
# pass mark: figures, each against what it is to reach, the machine's load beside each.
#   200 phone photos (phone_photos, capture times a minute apart) given positions in three towns by
#   exiftool, an eight-minute song (mp3, copied as it is): hallshow-make with --cards none (the peer), with the cards (to
#   reach: at most 10 % more time, 50 MB more memory) and with captions too, alternating, 3 rounds;
#   place_lookup: load (to reach: under 300 ms) and 10,000 positions named (under 50 ms).
# bench/make/cards_bench.sh BUILD ROUNDS: another number of rounds (a loaded machine: 1).
# Inputs are made once under BUILD/bench-cards/ (nothing of it is committed).
set -euo pipefail
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: cards_bench.sh BUILD [ROUNDS]" >&2; exit 2; }
rounds=${2:-3}
build=$(realpath "$1")
work=$build/bench-cards
make=$build/tools/hallshow-make
mkdir -p "$work"
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ ! -f "$work/photos/.complete" ]; then
  "$root/scripts/fetch_photos.sh" "$root/build/photo-sources" >/dev/null
  rm -rf "$work/photos" && mkdir -p "$work/photos"
  "$build/bench/make/phone_photos" "$root/build/photo-sources" "$work/photos" 200
  # Positions: the first 70 in Lisbon, the next 70 in Sintra, the rest in Porto.
  mapfile -t files < <(ls "$work/photos"/*.jpg | sort)
  exiftool -q -overwrite_original -GPSLatitude=38.7139 -GPSLatitudeRef=N -GPSLongitude=9.1394 -GPSLongitudeRef=W "${files[@]:0:70}"
  exiftool -q -overwrite_original -GPSLatitude=38.7976 -GPSLatitudeRef=N -GPSLongitude=9.3904 -GPSLongitudeRef=W "${files[@]:70:70}"
  exiftool -q -overwrite_original -GPSLatitude=41.1496 -GPSLatitudeRef=N -GPSLongitude=8.6109 -GPSLongitudeRef=W "${files[@]:140}"
  "$build/demo/demo_music" "$work/song.wav" 120 240  # bars: eight minutes
  lame --quiet -b 192 "$work/song.wav" "$work/song.mp3"
  touch "$work/photos/.complete"
fi
timed() {  # timed NAME ARGS...: wall seconds, CPU seconds and peak memory of one run
  local name=$1; shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/$name.time" "$make" "$work/photos" --music "$work/song.mp3" \
    --out "$work/$name" --force "$@" >"$work/$name.out" 2>"$work/$name.err"
  read -r wall user sys kb < <(tail -1 "$work/$name.time")
  printf '%-10s wall %6.1f s  cpu %6.1f s  peak %5d MB  load %s  %s\n' "$name" "$wall" "$(echo "$user + $sys" | bc)" \
    $((kb / 1024)) "$(cut -d' ' -f1 /proc/loadavg)" "$(grep -o 'made: [0-9]* photos' "$work/$name.out")"
}
for _ in $(seq "$rounds"); do
  timed none --cards none
  timed cards
  timed captions --captions both
done
"$build/bench/make/place_lookup"
