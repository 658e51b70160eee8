#!/usr/bin/env bash
# demo/make_pack.sh BUILD SHOW [PHOTO_SOURCES]: makes the demo show in the folder SHOW with the
# generators built in BUILD: "e12.mp3", the photos under "hall.photo/" and the tracks under "kestos/".
# With PHOTO_SOURCES (the folder scripts/fetch_photos.sh fills) the photos are real photographs,
# made by demo_catalogue (hallshow-make's catalogue code) as demo/photo_credits.txt lists them;
# without it, generated ones.
# Each of the three parts is remade only when its generator or its source has changed since it was
# last made (a stamp per part records their checksums), so a second run costs nothing.
set -euo pipefail
[ $# -eq 2 ] || [ $# -eq 3 ] || { echo "usage: demo/make_pack.sh BUILD SHOW [PHOTO_SOURCES]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
show=$(cd "$2" && pwd)
sources=${3:+$(cd "$3" && pwd)}
photos=$build/demo/demo_photos music=$build/demo/demo_music kesto=$build/tools/kesto
catalogue=$build/demo/demo_catalogue
tools=("$photos" "$music" "$kesto")
[ -n "$sources" ] && tools+=("$catalogue")
for tool in "${tools[@]}"; do
  [ -x "$tool" ] || { echo "make_pack: $tool is not built" >&2; exit 1; }
done
stamps=$show/.stamps
mkdir -p "$stamps"

# up_to_date PART FILE... : the part's stamp matches these files' checksums and the script's.
up_to_date() {
  local part=$1; shift
  sha256sum "$@" "$here/make_pack.sh" | awk '{print $1}' >"$stamps/$part.want"
  cmp -s "$stamps/$part.want" "$stamps/$part" 2>/dev/null && rm "$stamps/$part.want"
}
made() { mv "$stamps/$1.want" "$stamps/$1"; }

# Photos: the 43 files of the catalogue (entry 43 shares entry 40's file). Switching between real
# and generated ones changes what the stamp covers, so the other kind is made.
if [ -n "$sources" ]; then
  photo_inputs=("$here/photo_credits.txt" "$catalogue")
else
  photo_inputs=("$photos")
fi
if ! up_to_date photos "${photo_inputs[@]}" || [ "$(ls "$show/hall.photo" 2>/dev/null | wc -l)" -ne 43 ]; then
  if [ -n "$sources" ]; then
    echo "make_pack: photographs from $sources (once)"
    "$catalogue" "$here/photo_credits.txt" "$sources" "$show"
  else
    echo "make_pack: photos"
    part=$show/.photos.part
    rm -rf "$part"
    "$photos" "$part"
    rm -rf "$show/hall.photo"
    mv "$part/hall.photo" "$show/hall.photo"
    rmdir "$part"
  fi
  made photos
fi

# Music: synthesised to WAV, encoded to MP3.
if ! up_to_date music "$music" || [ ! -s "$show/e12.mp3" ]; then
  echo "make_pack: music"
  wav=$(mktemp --suffix=.wav)
  trap 'rm -f "$wav"' EXIT
  "$music" "$wav"
  lame --quiet --preset standard "$wav" "$show/e12.mp3.part"
  mv "$show/e12.mp3.part" "$show/e12.mp3"
  made music
fi

# Tracks: every track of demo/show.txt through the track tool.
if ! up_to_date tracks "$kesto" "$here/show.txt" || [ "$(ls "$show/kestos" 2>/dev/null | wc -l)" -ne 22 ]; then
  echo "make_pack: tracks"
  rm -rf "$show/kestos"
  "$kesto" build "$here/show.txt" "$show" >/dev/null
  made tracks
fi
