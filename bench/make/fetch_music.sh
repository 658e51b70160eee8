#!/usr/bin/env bash
# bench/make/fetch_music.sh [DIR]: real game music from a Debian package, for the tempo benchmark,
# without installing anything: pingus-data's soundtrack (tracker modules, which ffmpeg plays through
# libopenmpt) is downloaded with apt-get download and unpacked with dpkg-deb -x into DIR/pingus
# (default build/music-sources). A second run with the folder present costs nothing.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/music-sources}
[ -f "$dir/pingus/.complete" ] && exit 0
mkdir -p "$dir/debs"
if ! ls "$dir/debs"/pingus-data_*.deb >/dev/null 2>&1; then
  (cd "$dir/debs" && apt-get download -qq pingus-data >/dev/null 2>&1) ||
    { echo "fetch_music: could not download pingus-data with apt-get" >&2; exit 1; }
fi
rm -rf "$dir/root" "$dir/pingus" && mkdir -p "$dir/pingus"
dpkg-deb -x "$dir/debs"/pingus-data_*.deb "$dir/root"
cp "$dir/root/usr/share/games/pingus/data/music/"* "$dir/pingus/"
cp "$dir/root/usr/share/doc/pingus-data/copyright" "$dir/pingus/copyright"
rm -rf "$dir/root"
touch "$dir/pingus/.complete"
