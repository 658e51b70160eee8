#!/usr/bin/env bash
# bench/tools/capture_encoder_bench.sh FRAMES.y4m... : x264's presets and rate factors on a show's
# own frames, as hallshow-capture encodes them. For each preset and CRF: the encoder's processor
# time per frame, the bit rate, and SSIM (ffmpeg's ssim filter, "All") of the decoded video against
# the frames themselves, which are the lossless capture (hallshow-capture --output NAME.y4m), over
# all the files and the lowest of any one file.
# PRESETS and CRFS in the environment choose the grid (defaults: ultrafast to medium, 18 20 23 26).
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: capture_encoder_bench.sh FRAMES.y4m..." >&2; exit 2; }
presets=${PRESETS:-ultrafast superfast veryfast faster fast medium}
crfs=${CRFS:-18 20 23 26}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-10s %4s %10s %9s %8s %8s\n' preset crf "ms/frame" "kbit/s" SSIM lowest
for preset in $presets; do
  for crf in $crfs; do
    cpu=0 frames=0 bytes=0 seconds=0 ssim_sum=0 lowest=1
    for input in "$@"; do
      out=$work/out.mp4
      /usr/bin/time -f '%U %S' -o "$work/time" ffmpeg -nostdin -v error -y -i "file:$input" -c:v libx264 \
        -preset "$preset" -crf "$crf" -profile:v high -x264-params 8x8dct=1 -pix_fmt yuv420p -f mp4 "file:$out"
      n=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$out")
      d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out")
      s=$(ffmpeg -nostdin -i "file:$out" -i "file:$input" -lavfi '[0:v][1:v]ssim' -f null - 2>&1 |
          sed -n 's/.*SSIM .* All:\([0-9.]*\).*/\1/p' | tail -1)
      cpu=$(awk -v a="$cpu" '{print a + $1 + $2}' "$work/time")
      frames=$((frames + n)); bytes=$((bytes + $(stat -c %s "$out")))
      seconds=$(awk -v a="$seconds" -v b="$d" 'BEGIN{print a + b}')
      ssim_sum=$(awk -v a="$ssim_sum" -v b="$s" -v n="$n" 'BEGIN{print a + b * n}')
      lowest=$(awk -v a="$lowest" -v b="$s" 'BEGIN{print (b < a ? b : a)}')
    done
    awk -v p="$preset" -v c="$crf" -v cpu="$cpu" -v f="$frames" -v by="$bytes" -v s="$seconds" -v ss="$ssim_sum" \
      -v lo="$lowest" 'BEGIN{printf "%-10s %4d %10.2f %9.0f %8.4f %8.4f\n", p, c, cpu / f * 1000, by * 8 / s / 1000, ss / f, lo}'
  done
done
