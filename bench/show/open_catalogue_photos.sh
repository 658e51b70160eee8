#!/usr/bin/env bash
# The distinct photos of the open-catalogue benchmark, made once into OUT as phone cameras write
# them: OUT/photo_NN.jpg, 4:3 JPEGs (4000 × 3000 by default: 12 megapixels) at quality 92 with 4:2:0
# chroma, a little sensor-like noise (the sources are scaled up, and smooth pictures decode faster
# than a camera's) and an Exif block with the orientation. Every photograph of SOURCES (the folders
# scripts/fetch_photos.sh fills) of a megapixel or more gives a landscape photo (orientation 1),
# the largest of them a portrait too: cropped upright, stored on its side and tagged orientation 6
# ("right-top", rotate clockwise to show), as a phone held upright stores it. The largest photos
# come first; COUNT photos in all (fewer when the sources run out).
#   open_catalogue_photos.sh SOURCES OUT COUNT [WIDTHxHEIGHT]
set -euo pipefail
[ $# -eq 3 ] || [ $# -eq 4 ] || { echo "usage: open_catalogue_photos.sh SOURCES OUT COUNT [WIDTHxHEIGHT]" >&2; exit 2; }
sources=$1 out=$2 count=$3 size=${4:-4000x3000}
width=${size%x*} height=${size#*x}
mkdir -p "$out"

# The photographs: the JPEGs of the packages (their PNGs are mostly drawn artwork), largest first,
# one of each picture (MATE ships the elephants at three sizes).
mapfile -t originals < <(find "$sources" -name '*.jpg' ! -name truncated.jpg -print0 |
  xargs -0 -r identify -format '%w %h %i\n' 2>/dev/null | awk '$1 * $2 >= 1000000 { print $1 * $2, $3 }' | sort -rn |
  awk '{ name = $2; sub(/.*\//, "", name); sub(/_[0-9]+x[0-9]+/, "", name); if (!seen[name]++) print $2 }')
[ ${#originals[@]} -gt 0 ] || { echo "open_catalogue_photos: no photographs in $sources (run scripts/fetch_photos.sh)" >&2; exit 1; }

# exif ORIENTATION: an APP1 segment holding only the orientation, big-endian TIFF.
exif() { printf '\xff\xe1\x00\x22Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00'"\\x0$1"'\x00\x00\x00\x00\x00\x00'; }
# make_photo SOURCE FILE PORTRAIT
make_photo() {
  local src=$1 file=$2 portrait=$3 tmp=$2.tmp
  local encode=(-attenuate 0.3 +noise Gaussian -sampling-factor 2x2 -quality 92 -strip)
  if [ "$portrait" = 1 ]; then
    convert -quiet "$src" -colorspace sRGB -resize "${height}x${width}^" -gravity West -extent "${height}x${width}" \
      -rotate -90 "${encode[@]}" "jpg:$tmp"
  else
    convert -quiet "$src" -colorspace sRGB -resize "${width}x${height}^" -gravity center -extent "${width}x${height}" \
      "${encode[@]}" "jpg:$tmp"
  fi
  { head -c 2 "$tmp"; exif $((portrait ? 6 : 1)); tail -c +3 "$tmp"; } >"$file"
  rm "$tmp"
}

made=0
for portrait in 0 1; do
  for src in "${originals[@]}"; do
    [ $made -lt "$count" ] || break 2
    file=$out/photo_$(printf %02d $made).jpg
    [ -s "$file" ] || make_photo "$src" "$file" $portrait
    made=$((made + 1))
  done
done
echo "open_catalogue_photos: $made photos of $size in $out"
