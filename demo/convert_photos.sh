#!/usr/bin/env bash
# demo/convert_photos.sh SOURCES SHOW: fills SHOW/hall.photo/ with the real photographs that
# demo/photo_credits.txt gives each catalogue file, made with ImageMagick from the originals in
# SOURCES/<package>/ (where scripts/fetch_photos.sh unpacks them). The folder is replaced only
# once every file is made; on any failure the old one stays and the script exits non-zero.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: demo/convert_photos.sh SOURCES SHOW" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
sources=$(cd "$1" && pwd)
mkdir -p "$2"
show=$(cd "$2" && pwd)
part=$show/.hall.photo.part
rm -rf "$part" && mkdir -p "$part"

# make FILE SIZE MADE_AS ORIGINAL: one catalogue file.
make() {
  local file=$1 size=$2 made=$3 original=$4
  local w=${size%x*} h=${size#*x}
  local cover=(-resize "${size}^" -gravity center -extent "$size" +repage)
  # The cut-outs: a mask, white where the photo shows, becomes its alpha.
  local mask=()
  case "$made" in
    cameo)  mask=(-draw "ellipse $((w / 2)),$((h / 2)) $((w * 46 / 100)),$((h * 46 / 100)) 0,360" -blur "0x$((w / 60))") ;;
    circle) mask=(-draw "circle $((w / 2)),$((h / 2)) $((w / 2)),$((h / 100))") ;;
    frame)  mask=(-fill white -draw "rectangle 0,0 $w,$h" -fill black
                  -draw "roundrectangle $((w * 15 / 100)),$((h * 15 / 100)) $((w * 85 / 100)),$((h * 85 / 100)) $((w / 20)),$((w / 20))"
                  -blur "0x$((w / 400 + 1))") ;;
    iris)   mask=(-fill white -draw "rectangle 0,0 $w,$h" -fill black
                  -draw "circle $((w / 2)),$((h / 2)) $((w / 2)),$((h / 2 - h * 15 / 100))" -blur "0x$((w / 200 + 1))") ;;
  esac
  local type
  case "$file:$made" in
    *.png:photo) type=PNG24 ;;
    *.png:palette) type=PNG8 ;;
    *.jpg:photo | *.JPG:photo) type=JPEG ;;
    *.png:cameo | *.png:frame | *.png:iris | *.gif:circle) type=PNG32 ;;
    *) echo "convert_photos: $file cannot be made as \"$made\"" >&2; return 1 ;;
  esac
  if [ ${#mask[@]} -eq 0 ]; then
    convert -quiet "$original" -strip -colorspace sRGB "${cover[@]}" -quality 90 "$type:$part/$file"
    return
  fi
  local cut=$part/$file.cut.png
  # Both images without alpha: CopyOpacity then takes the mask's grey as the photo's alpha.
  convert -quiet "$original" -strip -colorspace sRGB "${cover[@]}" \
    \( -size "$size" xc:black -fill white "${mask[@]}" \) -alpha off -compose CopyOpacity -composite "PNG32:$cut"
  if [[ $file == *.gif ]]; then
    convert -quiet "$cut" "$part/$file" && rm "$cut"  # a GIF keeps the pixels under half transparent as its one transparent colour
  else
    mv "$cut" "$part/$file"
  fi
}

# One conversion per core at a time; a failed one leaves a mark, so the folder is not replaced.
jobs_max=$(nproc)
while read -r file size made package original _; do
  [[ -z "$file" || "$file" == \#* ]] && continue
  if [ ! -f "$sources/$package/$original" ]; then
    echo "convert_photos: $sources/$package/$original is missing" >&2
    touch "$part/.failed"
    continue
  fi
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do sleep 0.1; done
  { make "$file" "$size" "$made" "$sources/$package/$original" ||
      { echo "convert_photos: cannot make $file" >&2; touch "$part/.failed"; }; } &
done <"$here/photo_credits.txt"
wait
if [ -e "$part/.failed" ]; then
  rm -rf "$part"
  exit 1
fi
rm -rf "$show/hall.photo"
mv "$part" "$show/hall.photo"
