#!/usr/bin/env bash
# bench/make/tempo_bench.sh HALLSHOW_MAKE MUSIC_DIR PHOTO: the tempo hallshow-make finds in each
# song under MUSIC_DIR (and its folders, as fetch_music.sh lays them out) against bpm-tools' `bpm`
# (which reads the song as raw 32-bit float samples from ffmpeg), one line a song: both tempi, their
# ratio, and whether they agree within 2% or at a factor of two (an octave: a photo every two beats
# or every beat). PHOTO is any photo, for the show folders made on the way. No pass mark: figures.
# A tracker module also states a tempo, its "score" column: rows a minute from the header's initial
# speed and tempo (24 x tempo / speed), over the rows to a beat of its pattern highlight (IT; S3M:
# 4). Patterns can change speed and tempo as they play, so it is a hint, not the truth.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: tempo_bench.sh HALLSHOW_MAKE MUSIC_DIR PHOTO" >&2; exit 2; }
make=$1 dir=$2 photo=$3
command -v bpm >/dev/null || { echo "tempo_bench: bpm (bpm-tools) is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# byte N of FILE as a number
byte() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
score_tempo() {
  local speed tempo rows
  if [ "$(head -c4 "$1" | tr -d '\0')" = IMPM ]; then
    speed=$(byte "$1" 50) tempo=$(byte "$1" 51) rows=$(byte "$1" 30)
  elif [ "$(tail -c+45 "$1" | head -c4 | tr -d '\0')" = SCRM ]; then
    speed=$(byte "$1" 49) tempo=$(byte "$1" 50) rows=4
  else
    echo -; return
  fi
  [ "${speed:-0}" -gt 0 ] && [ "${rows:-0}" -gt 0 ] || { echo -; return; }
  awk -v s="$speed" -v t="$tempo" -v r="$rows" 'BEGIN { printf "%.2f", 24 * t / s / r }'
}
printf '%-34s %8s %8s %7s  %-6s %8s\n' song make bpm ratio agrees score
agree=0 total=0
while IFS= read -r song; do
  case "$song" in *.txt | */copyright | */.complete | */debs/*) continue ;; esac
  name=${song#"$dir"/}
  if ! "$make" "$photo" --music "$song" --out "$work/show" --force </dev/null >/dev/null 2>"$work/errors"; then
    printf '%-34s refused: %s\n' "$name" "$(tail -n1 "$work/errors" | sed 's/.*: //')"
    continue
  fi
  ours=$(awk '/^bpm /{print $2}' "$work/show/show.txt")
  theirs=$(ffmpeg -v error -nostdin -i "$song" -f f32le -ac 1 -ar 44100 - | bpm -m 50 -x 220)
  verdict=$(awk -v a="$ours" -v b="$theirs" 'BEGIN {
    r = a / b; ok = 0
    for (f = 0.5; f <= 2; f *= 2) if (r / f > 0.98 && r / f < 1.02) ok = 1
    printf "%.3f %s", r, ok ? "yes" : "no" }')
  printf '%-34s %8.2f %8.2f %7s  %-6s %8s\n' "$name" "$ours" "$theirs" ${verdict% *} ${verdict#* } "$(score_tempo "$song")"
  total=$((total + 1))
  [ "${verdict#* }" = yes ] && agree=$((agree + 1))
done < <(find "$dir" -type f | LC_ALL=C sort)
echo "tempo_bench: $agree of $total songs agree with bpm within 2% or at a factor of two"
