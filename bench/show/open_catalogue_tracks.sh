#!/usr/bin/env bash
# The tracks of the open-catalogue benchmark's shows, as kesto text on stdout:
#
#   open_catalogue_tracks.sh steady ENTRIES SECONDS
#     a change every 1.2 s (24 rows) on alternating layers, "back" on the left and "beard" on the
#     right, each photo held for 2.4 s while it zooms slowly (scale 0.05 to 0.35) and pans (0.4
#     across, 0.4 up or down); change k shows open entry 44 + k modulo ENTRIES, so a 20-minute show
#     of 1000 entries shows each once. The backdrop (photo 17) behind them; "happy" ends the show
#     after SECONDS.
#   open_catalogue_tracks.sh sweep ENTRIES SWEEP SECONDS
#     adversarial: over the first SWEEP seconds, "back" passes every entry from 44 to 44 + ENTRIES - 1
#     and "beard" every one back down to 44, both at scale 0.35 (1000 entries in 30 s are 3.3 new
#     entries a row, more than one a frame at 60 frames a second); then both hold, and "happy" ends
#     the show after SECONDS.
#
# Without its open entries (numbers from 44 up with no file) either show draws its layers in their
# track colour: the same show as a catalogue-only one.
set -euo pipefail
usage() { echo "usage: open_catalogue_tracks.sh steady ENTRIES SECONDS | sweep ENTRIES SWEEP SECONDS" >&2; exit 2; }
whole() { [[ "${1:-}" =~ ^[1-9][0-9]*$ ]]; }
case "${1:-}" in
  steady) [ $# -eq 3 ] && whole "$2" && whole "$3" || usage ;;
  sweep) [ $# -eq 4 ] && whole "$2" && whole "$3" && whole "$4" || usage ;;
  *) usage ;;
esac

if [ "$1" = sweep ]; then
  last=$((44 + $2 - 1)) sweep=$3 seconds=$4
  cat <<EOF
# Adversarial: every open entry from 44 to $last on each layer in ${sweep} s, then held.
back.n
  0 44 linear
  ${sweep}s $last step
beard.n
  0 $last linear
  ${sweep}s 44 step
back.scale
  0 0.35 step
beard.scale
  0 0.35 step
back.x
  0 -1.25 step
beard.x
  0 1.25 step
happy
  0 1 step
  ${seconds}s 2 step
EOF
  exit 0
fi

entries=$2 seconds=$3
awk -v entries="$entries" -v seconds="$seconds" 'BEGIN {
  step = 24                            # rows between changes: 1.2 s
  changes = int(seconds * 20 / step) + 1
  print "# A change every 1.2 s on alternating layers: " changes " changes of " entries " open entries."
  for (layer = 0; layer < 2; ++layer) {
    name = layer ? "beard" : "back"
    side = layer ? 1 : -1
    # beard comes in 1.2 s after back: hidden until then
    print name ".n"
    for (k = layer; k < changes; k += 2) printf "  %d %d step\n", k * step, 44 + k % entries
    print name ".scale"
    if (layer) print "  0 -1 step"
    for (k = layer; k < changes; k += 2) printf "  %d 0.05 linear\n  %d 0.35 step\n", k * step, k * step + 2 * step - 1
    print name ".x"
    for (k = layer; k < changes; k += 2) printf "  %d %.2f linear\n  %d %.2f step\n", k * step, side * 1.45, k * step + 2 * step - 1, side * 1.05
    print name ".y"
    for (k = layer; k < changes; k += 2) {
      up = int(k / 2) % 2 ? 1 : -1
      printf "  %d %.2f linear\n  %d %.2f step\n", k * step, up * 0.2, k * step + 2 * step - 1, -up * 0.2
    }
  }
  print "happy"
  print "  0 1 step"
  printf "  %ds 2 step\n", seconds
}'
