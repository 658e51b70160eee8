#!/usr/bin/env bash
# bench/make/tempo_bench.sh HALLSHOW_MAKE MUSIC_DIR PHOTO: the tempo hallshow-make finds in each
# song under MUSIC_DIR (and its folders, as fetch_music.sh lays them out) against bpm-tools' `bpm`
# (which reads the song as raw 32-bit float samples from ffmpeg), one line a song: both tempi, their
# ratio, and whether they agree within 2% or at a factor of two (an octave: a photo every two beats
# or every beat). PHOTO is any photo, for the show folders made on the way. No pass mark: figures.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: tempo_bench.sh HALLSHOW_MAKE MUSIC_DIR PHOTO" >&2; exit 2; }
make=$1 dir=$2 photo=$3
command -v bpm >/dev/null || { echo "tempo_bench: bpm (bpm-tools) is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-34s %8s %8s %7s  %s\n' song make bpm ratio agrees
agree=0 total=0
while IFS= read -r song; do
  case "$song" in *.txt | */copyright | */.complete | */debs/*) continue ;; esac
  name=${song#"$dir"/}
  out=$("$make" "$photo" --music "$song" --out "$work/show" --force </dev/null 2>/dev/null) || { printf '%-34s refused\n' "$name"; continue; }
  ours=$(awk '/^bpm /{print $2}' "$work/show/show.txt")
  theirs=$(ffmpeg -v error -nostdin -i "$song" -f f32le -ac 1 -ar 44100 - | bpm -m 50 -x 220)
  verdict=$(awk -v a="$ours" -v b="$theirs" 'BEGIN {
    r = a / b; ok = 0
    for (f = 0.5; f <= 2; f *= 2) if (r / f > 0.98 && r / f < 1.02) ok = 1
    printf "%.3f %s", r, ok ? "yes" : "no" }')
  printf '%-34s %8.2f %8.2f %7s  %s\n' "$name" "$ours" "$theirs" ${verdict% *} ${verdict#* }
  total=$((total + 1))
  [ "${verdict#* }" = yes ] && agree=$((agree + 1))
done < <(find "$dir" -type f | LC_ALL=C sort)
echo "tempo_bench: $agree of $total songs agree with bpm within 2% or at a factor of two"
