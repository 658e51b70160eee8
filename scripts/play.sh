#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds hallshow, makes the demo show and plays it.
# Without a display it renders the show to an MP4 instead and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build.sh release hallshow hallshow-capture kesto demo_photos demo_music demo_catalogue
show="$root/build/demo-show"
# Real photographs from Debian packages; when they cannot be fetched the generated ones stand in.
sources=build/photo-sources
if ! why=$(scripts/fetch_photos.sh "$sources" 2>&1 >/dev/null); then
  why=${why##*$'\n'}
  echo "hallshow: no real photographs (${why#fetch_photos: }), so generated ones stand in"
  sources=
fi
demo/make_pack.sh build/release "$show" $sources  # makes what is missing or out of date, else nothing
cd "$show"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  video="$root/build/demo-show.mp4"
  echo "hallshow: no display here, so the demo show is rendered to a video instead"
  "$root/build/release/tools/hallshow-capture" --output "$video"
  echo "hallshow: the demo show is in $video"
  exit 0
fi
exec "$root/build/release/app/hallshow"
