#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds hallshow and plays the demo show.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build.sh release hallshow kesto demo_photos demo_music
show="$root/build/demo-show"
demo/make_pack.sh build/release "$show"  # makes what is missing or out of date, else nothing
cd "$show"
exec "$root/build/release/app/hallshow"
