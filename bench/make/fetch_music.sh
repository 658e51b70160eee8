#!/usr/bin/env bash
# bench/make/fetch_music.sh [DIR]: real game music from Debian packages, for the tempo benchmark,
# without installing anything: each package is downloaded with apt-get download and unpacked with
# dpkg-deb -x, and only its soundtrack and its copyright file are kept, one folder a package under
# DIR (default build/music-sources):
#   pingus       pingus-data's tracker modules (MOD/XM/S3M, which ffmpeg plays through libopenmpt)
#   neverball    neverball-common's Ogg Vorbis soundtrack (bgm/)
#   etr          extremetuxracer-data's Ogg Vorbis soundtrack (music/)
#   frozenbubble frozen-bubble-data's three Ogg Vorbis tunes (the rest of snd/ is sound effects)
# About 100 MB of packages, 60 MB kept. A second run with the folders present costs nothing.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/music-sources}

# folder, package, the music's files inside the package (a shell pattern)
sources=(
  "pingus pingus-data usr/share/games/pingus/data/music/*"
  "neverball neverball-common usr/share/games/neverball/bgm/*.ogg"
  "etr extremetuxracer-data usr/share/games/etr/music/*.ogg"
  "frozenbubble frozen-bubble-data usr/share/games/frozen-bubble/snd/*zik*.ogg"
)

mkdir -p "$dir/debs"
for source in "${sources[@]}"; do
  read -r name package pattern <<<"$source"
  [ -f "$dir/$name/.complete" ] && continue
  if ! ls "$dir/debs/${package}"_*.deb >/dev/null 2>&1; then
    (cd "$dir/debs" && apt-get download -qq "$package" >/dev/null 2>&1) ||
      { echo "fetch_music: could not download $package with apt-get" >&2; exit 1; }
  fi
  rm -rf "$dir/root" "$dir/$name" && mkdir -p "$dir/$name"
  dpkg-deb -x "$dir/debs/${package}"_*.deb "$dir/root"
  # The pattern is expanded here, against the unpacked tree.
  shopt -s nullglob
  # shellcheck disable=SC2206
  files=("$dir/root/"$pattern)
  shopt -u nullglob
  [ ${#files[@]} -gt 0 ] || { echo "fetch_music: $package has no files at $pattern" >&2; exit 1; }
  cp "${files[@]}" "$dir/$name/"
  cp "$dir/root/usr/share/doc/$package/copyright" "$dir/$name/copyright"
  rm -rf "$dir/root"
  touch "$dir/$name/.complete"
done
