#!/usr/bin/env bash
# bench/make/imagemagick_catalogue.sh PHOTOS_TXT SONG OUT: the peer of hallshow-make in the benchmark,
# the way the demo's photographs were made before (one ImageMagick convert per catalogue file, as
# many at a time as there are cores): every file that hallshow-make's photos.txt lists, cropped
# from the same photo at the same box and size, with the same cut-outs, blurred backdrop and types,
# and the song copied. It does less than hallshow-make (no analysis, no tracks), so the comparison
# flatters it.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: imagemagick_catalogue.sh PHOTOS_TXT SONG OUT" >&2; exit 2; }
list=$1 song=$2 out=$3
rm -rf "$out" && mkdir -p "$out/hall.photo"
cp "$song" "$out/e12.mp3"
one() {
  local file=$1 role=$2 src=$3 box=$4 side=$5
  local left=${box%%,*} top=${box#*,}
  local size=2086
  case "$role" in cameo) size=1043 ;; backdrop | spare) size=1024 ;; esac
  [ "$side" -lt "$size" ] && size=$side
  local crop=(-auto-orient -colorspace sRGB -crop "${side}x${side}+${left}+${top}" +repage -resize "${size}x${size}!")
  local w=$size c=$((size / 2))
  case "$role" in
    cameo) convert -quiet "$src" "${crop[@]}" \( -size "${w}x${w}" xc:black -fill white \
             -draw "ellipse $c,$c $((w * 44 / 100)),$((w * 46 / 100)) 0,360" -blur "0x$((w / 150 + 1))" \) \
             -alpha off -compose CopyOpacity -composite "PNG32:$out/hall.photo/$file" ;;
    frame) convert -quiet "$src" "${crop[@]}" \( -size "${w}x${w}" xc:white -fill black \
             -draw "roundrectangle $((w * 15 / 100)),$((w * 15 / 100)) $((w * 85 / 100)),$((w * 85 / 100)) $((w / 20)),$((w / 20))" \) \
             -alpha off -compose CopyOpacity -composite "PNG32:$out/hall.photo/$file" ;;
    iris) convert -quiet "$src" "${crop[@]}" \( -size "${w}x${w}" xc:white -fill black \
             -draw "circle $c,$c $c,$((c - w * 15 / 100))" \) \
             -alpha off -compose CopyOpacity -composite "PNG32:$out/hall.photo/$file" ;;
    backdrop) convert -quiet "$src" "${crop[@]}" -resize 512x512 -blur 0x8 -evaluate multiply 0.6 -resize "${size}x${size}" \
                -quality 90 "$out/hall.photo/$file" ;;
    *) convert -quiet "$src" "${crop[@]}" -quality 90 "$out/hall.photo/$file" ;;
  esac
}
jobs_max=$(nproc)
while read -r file role rest; do
  [[ -z "$file" || "$file" == \#* || "$file" == unused || "$file" == skipped || "$file" == 43 ]] && continue
  [ "$role" = spare ] && rest=${rest#(never loaded) }
  read -r src _ box side <<<"$rest"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do sleep 0.05; done
  one "$file" "$role" "$src" "$box" "${side%.*}" &
done <"$list"
wait
