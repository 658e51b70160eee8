#!/usr/bin/env bash
# bench/tools/capture_bench.sh OLD NEW SHOW [RUNS]: hallshow-capture against another build of it
# (OLD, e.g. one built from an earlier commit) on the show in the folder SHOW, in the same run.
#   - the whole show as MP4 at 1080p60 and at 1080p30 (and NEW with --preset web): wall time, its
#     ratio to the show's length, and peak memory (max RSS of the capture and of ffmpeg, the larger)
#   - a storyboard of the whole show: wall time and peak memory
# Each with the processor time it took (user and system, the encoder's included), which other load
# on the machine stretches less than the wall time: on 2 idle cores the wall time is at best half
# of it. TO in the environment (a TIME, e.g. 20s) benchmarks only the show up to there.
# The runs alternate, OLD then NEW, RUNS times (default 3); min and median are printed, with the
# load average before each run, since a busy machine slows whichever happens to run then. Then,
# for NEW alone:
#   - SSIM (ffmpeg's ssim filter, "All") of its 1080p60 MP4 against the lossless frames (the same
#     capture written as YUV4MPEG2, piped into ffmpeg, never stored)
#   - frames exact: frames of the .y4m capture equal hallshow-capture --at of their rows
#     (capture_frame_check, built beside this script's benchmarks in build/release/bench/tools)
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: capture_bench.sh OLD NEW SHOW [RUNS]" >&2; exit 2; }
old=$(realpath "$1") new=$(realpath "$2") show=$(realpath "$3") runs=${4:-3}
part=()
[ -n "${TO:-}" ] && part=(--to "$TO")
check=$(dirname "$(realpath "$0")")/../../build/release/bench/tools/capture_frame_check
[ -x "$check" ] || check=$(dirname "$new")/../bench/tools/capture_frame_check
work=$(mktemp -d)
touch "$work/cpu"
trap 'rm -rf "$work"' EXIT
cd "$show"
length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 e12.mp3)
# "happy" may end the show before the music: the frames say how long it is.
echo "hallshow-capture benchmark: $show, $(nproc) cores, music ${length}s, $runs runs each"

# run NAME TOOL ARGS...: one timed run; appends "seconds max_rss_kb load capture_mb cpu_seconds" to
# $work/NAME.
# The max RSS is the larger of the capture's and its ffmpeg's; NEW's --stats tells its own apart.
run() {
  local name=$1 tool=$2; shift 2
  local load; load=$(cut -d' ' -f1 /proc/loadavg)
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$tool" "${part[@]}" "$@" >/dev/null 2>"$work/log" ||
    { echo "$name failed:"; cat "$work/log"; exit 1; }
  local own; own=$(sed -n 's/.*peak memory: capture \([0-9]*\) MB.*/\1/p' "$work/log")
  read -r wall rss user system <"$work/time"
  echo "$wall $rss $load ${own:--} $(awk -v u="$user" -v s="$system" 'BEGIN{print u + s}')" >>"$work/$name"
  [ "$tool" = "$new" ] && grep -hE "drawing thread, ms|processor, ms|peak memory|catalogue photos" "$work/log" | sed "s/^ */    $name: /" >>"$work/cpu" || true
}

for ((i = 1; i <= runs; i++)); do
  run old-60 "$old" --fps 60 --output "$work/old60.mp4"
  run new-60 "$new" --fps 60 --stats --output "$work/new60.mp4"
  run old-30 "$old" --fps 30 --output "$work/old30.mp4"
  run new-30 "$new" --fps 30 --stats --output "$work/new30.mp4"
  run new-web "$new" --preset web --stats --output "$work/web.mp4"
  run old-board "$old" --storyboard "$work/old.png"
  run new-board "$new" --storyboard "$work/new.png"
done
seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/new60.mp4")

# summary NAME: min and median of the wall time, ratio to the show, peak memory, loads.
summary() {
  sort -n "$work/$1" | awk -v name="$1" -v len="$seconds" '
    { t[NR] = $1; m[NR] = $2; l = l (NR > 1 ? "," : "") $3; if ($4 != "-" && $4 > own) own = $4
      c = (NR == 1 || $5 < c) ? $5 : c }
    END {
      med = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      mm = m[1]; for (i = 2; i <= NR; i++) if (m[i] > mm) mm = m[i]
      printf "%-10s min %7.1f s (%4.2f x)  median %7.1f s (%4.2f x)  processor %7.1f s (%4.2f x)  peak %4.0f MB%s  load %s\n",
             name, t[1], t[1] / len, med, med / len, c, c / len, mm / 1024, own ? sprintf(" (capture %d MB)", own) : "", l
    }'
}
echo "show length ${seconds}s (the MP4's); times as ratios to it"
for name in old-60 new-60 old-30 new-30 new-web old-board new-board; do summary "$name"; done
echo "new, where the processor time went (--stats):"
cat "$work/cpu"
for f in old60 new60 old30 new30 web; do
  printf '%-6s %s, %s\n' "$f" "$(du -m "$work/$f.mp4" | cut -f1) MB" \
    "$(ffprobe -v error -select_streams v:0 -show_entries stream=profile,pix_fmt,width,height,r_frame_rate \
       -of csv=p=0 "$work/$f.mp4")"
done

# SSIM of NEW's 1080p60 MP4 against its lossless frames, streamed through a FIFO.
mkfifo "$work/frames.y4m"
"$new" "${part[@]}" --fps 60 --output "$work/frames.y4m" >/dev/null 2>&1 &
ssim=$(ffmpeg -nostdin -i "file:$work/new60.mp4" -i "file:$work/frames.y4m" -lavfi '[0:v][1:v]ssim' -f null - 2>&1 |
       sed -n 's/.*SSIM .* All:\([0-9.]*\).*/\1/p' | tail -1)
wait
echo "SSIM of new 1080p60 against its lossless frames: $ssim"

# Frames exact: a few rows across the show, each as the video's frame and as --at.
"$new" --fps 60 --from 8s --to 9s --output "$work/part.y4m" >/dev/null 2>&1
for frame in 0 17 40 59; do
  # The row as the capture computes it (from + frame / fps × 20, in doubles), in digits enough to
  # read back the same double.
  row=$(awk -v f="$frame" 'BEGIN{printf "%.17g", 160 + f / 60 * 20}')
  "$new" --at "$row" --output "$work/at.png" >/dev/null 2>&1
  "$check" "$work/part.y4m" "$frame" "$work/at.png"
done
