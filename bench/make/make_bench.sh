#!/usr/bin/env bash
# bench/make/make_bench.sh BUILD INPUTS: hallshow-make's figures on the inputs prepare_inputs.sh made
# in INPUTS. No pass mark: figures, each against what hallshow-make is to reach.
#   200 photos of 12 megapixels and ten minutes of music in three songs: time, peak memory, photos
#     shown of those distinct (to reach: every one, at most 40 s, under 600 MB on two cores);
#   1000 photos and twenty minutes: time (at most 150 s);
#   the share of lit pixels over the storyboard of each style (median at least 0.85);
#   the photo changes within 50 ms of a beat on songs at 72 to 174 bpm, with and without --bpm.
# The first beside its peer in the same run: the same photo files made the ImageMagick way and the
# songs joined by ffmpeg (imagemagick_photos.sh).
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: make_bench.sh BUILD INPUTS" >&2; exit 2; }
build=$(realpath "$1") in=$(realpath "$2")  # absolute: the captures run inside the shows
make=$build/tools/hallshow-make capture=$build/tools/hallshow-capture
work=$in/runs
mkdir -p "$work"
timed() {  # timed NAME COMMAND...: wall seconds, CPU seconds and peak memory of one run
  local name=$1; shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err"
  # GNU time puts "Command exited with non-zero status N" first when the run failed.
  grep -q '^Command' "$work/$name.time" && echo "$name failed: $(tail -1 "$work/$name.err")"
  read -r wall user sys kb < <(tail -1 "$work/$name.time")
  # The machine may be shared: the load of the last minute is the figures' context.
  printf '%-28s wall %6.1f s  cpu %6.1f s  peak %5d MB  load %s  %s\n' "$name" "$wall" "$(echo "$user + $sys" | bc)" \
    $((kb / 1024)) "$(cut -d' ' -f1 /proc/loadavg)" "$(grep -o 'made: [0-9]* photos[^,]*' "$work/$name.out")"
}
timed 200_photos_10_minutes "$make" "$in/photos200" --music "$in/playlist10/1.mp3" --music "$in/playlist10/2.ogg" \
  --music "$in/playlist10/3.flac" --out "$work/show200" --force
grep -o '[0-9]* photos repeat others' "$work/200_photos_10_minutes.err" | sed 's/^/  distinct: 200 less /'
timed 200_photos_imagemagick "$(dirname "$0")/imagemagick_photos.sh" "$work/show200/photos.txt" "$work/peer200" \
  "$in/playlist10/1.mp3" "$in/playlist10/2.ogg" "$in/playlist10/3.flac"
timed 1000_photos_20_minutes "$make" "$in/photos1000" --music "$in/playlist20/1.mp3" --music "$in/playlist20/2.ogg" \
  --music "$in/playlist20/3.flac" --out "$work/show1000" --force
for style in lively calm; do
  "$make" "$in/photos200" --music "$in/playlist10/1.mp3" --music "$in/playlist10/2.ogg" --music "$in/playlist10/3.flac" \
    --style "$style" --out "$work/lit_$style" --force >/dev/null 2>&1
  (cd "$work/lit_$style" && SDL_AUDIODRIVER=dummy "$capture" --storyboard ../lit_$style.png --every 2s --size 640x360 >/dev/null 2>&1)
  printf '%-28s %s\n' "lit share, $style" "$("$build/bench/make/lit_share" "$work/lit_$style.png" 640x360)"
done
for song in "$in"/synth/*.wav; do
  name=$(basename "$song" .wav) bpm=${name%%_*}
  for given in "" "--bpm $bpm"; do
    "$make" "$in/photos200/IMG_000"*.jpg --music "$song" $given --out "$work/cuts" --force >/dev/null 2>&1
    printf '%-28s %s\n' "$name ${given:-found}" "$("$build/bench/make/cut_accuracy" "$work/cuts" "$bpm")"
  done
done
