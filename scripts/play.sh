#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds hallshow and plays the demo show.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build.sh release hallshow
show="$root/build/demo-show"
mkdir -p "$show"
cd "$show"
exec "$root/build/release/app/hallshow"
