#!/usr/bin/env bash
# bench/make/imagemagick_photos.sh PHOTOS_TXT OUT SONG...: the peer of hallshow-make in the benchmark,
# the photo files made the ImageMagick way (one convert a file, as many at a time as there are
# cores): every open entry that hallshow-make's photos.txt lists, from the same photo at the same
# size, upright and in sRGB, and the songs joined as hallshow-make joins them (ffmpeg, a two-second
# crossfade). It does less than hallshow-make (no looking at the photos, no hearing, no tracks, no
# accents), so the comparison flatters it.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: imagemagick_photos.sh PHOTOS_TXT OUT SONG..." >&2; exit 2; }
list=$1 out=$2
shift 2
rm -rf "$out" && mkdir -p "$out/hall.photo"
awk '$2 == "photo" { print $1 "\t" $3 "\t" $4 }' "$list" |
  xargs -d '\n' -P "$(nproc)" -I{} sh -c 'o=$2; IFS="	"; set -- $1; convert -quiet "$2" -auto-orient -colorspace sRGB -resize "$3!" -strip -quality 90 "$o/hall.photo/$1"' _ {} "$out"
inputs=() graph="" last=""
for i in $(seq 0 $(($# - 1))); do
  inputs+=(-i "${@:$((i + 1)):1}")
  graph+="[$i:a]aresample=44100,aformat=sample_fmts=fltp:channel_layouts=stereo[s$i];"
  if [ "$i" -eq 0 ]; then last=s0; else graph+="[$last][s$i]acrossfade=d=2:c1=tri:c2=tri[x$i];"; last=x$i; fi
done
ffmpeg -nostdin -v error -y "${inputs[@]}" -filter_complex "${graph}[$last]anull[out]" -map "[out]" -c:a libmp3lame -q:a 2 \
  -ar 44100 "$out/e12.mp3"
