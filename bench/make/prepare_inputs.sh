#!/usr/bin/env bash
# bench/make/prepare_inputs.sh SOURCES BUILD OUT: the inputs of the hallshow-make benchmark, made
# once into OUT: 40 photos of 12 megapixels (4000 x 3000 JPEGs, quality 92, scaled up from the real
# photographs scripts/fetch_photos.sh puts in SOURCES, every fourth one turned to portrait) and a
# four-minute MP3 of the demo's music (BUILD/demo/demo_music at 120 beats a minute, lame).
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: prepare_inputs.sh SOURCES BUILD OUT" >&2; exit 2; }
sources=$1 build=$2 out=$3
mkdir -p "$out/photos"
mapfile -t originals < <(find "$sources" -name '*.jpg' -o -name '*.png' | grep -v -e chessboard -e checker -e foo3x5 \
  -e bw_text -e _GRAY -e block.png -e cell.png -e green_palette -e clock_motion | sort)
[ ${#originals[@]} -gt 0 ] || { echo "prepare_inputs: no photographs in $sources (run scripts/fetch_photos.sh)" >&2; exit 1; }
for i in $(seq 0 39); do
  f=$out/photos/photo_$(printf %02d "$i").jpg
  [ -s "$f" ] && continue
  src=${originals[$((i % ${#originals[@]}))]}
  size=4000x3000
  [ $((i % 4)) -eq 3 ] && size=3000x4000
  convert -quiet "$src" -colorspace sRGB -resize "${size}^" -gravity center -extent "$size" -quality 92 "$f"
done
if [ ! -s "$out/song.mp3" ]; then
  "$build/demo/demo_music" "$out/song.wav" 120 121  # 240 s of music, then the closing chord
  lame --quiet --preset standard "$out/song.wav" "$out/song.mp3"
  rm "$out/song.wav"
fi
echo "prepare_inputs: 40 photos and a song in $out"
