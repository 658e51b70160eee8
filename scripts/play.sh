#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds hallshow, makes the demo show and plays it.
# Without a display it renders the show to an MP4 instead and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build.sh release hallshow hallshow-capture kesto demo_photos demo_music
show="$root/build/demo-show"
demo/make_pack.sh build/release "$show"  # makes what is missing or out of date, else nothing
cd "$show"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  video="$root/build/demo-show.mp4"
  echo "hallshow: no display here, so the demo show is rendered to a video instead"
  "$root/build/release/tools/hallshow-capture" --output "$video"
  echo "hallshow: the demo show is in $video"
  exit 0
fi
exec "$root/build/release/app/hallshow"
