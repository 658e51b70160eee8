#!/usr/bin/env bash
# bench/make/prepare_inputs.sh SOURCES BUILD OUT: the inputs of hallshow-make's benchmarks, made once
# into OUT (build/ of this repository, never committed):
#   photos200/, photos1000/  12-megapixel JPEGs as a phone makes them (BUILD/bench/make/phone_photos,
#                            from the photographs scripts/fetch_photos.sh puts in SOURCES)
#   playlist10/              ten minutes of music in three songs: 96 bpm as MP3, 128 as Ogg Vorbis,
#                            110 as FLAC (BUILD/demo/demo_music, drums all along)
#   playlist20/              twenty minutes in three songs of the same kinds
#   synth/                   one-minute songs at 72 to 174 bpm, plain and with busy off-beats, for the
#                            cuts on the beat
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: prepare_inputs.sh SOURCES BUILD OUT" >&2; exit 2; }
sources=$1 build=$2 out=$3
mkdir -p "$out"
for n in 200 1000; do
  [ "$(ls "$out/photos$n" 2>/dev/null | wc -l)" -ge "$n" ] || "$build/bench/make/phone_photos" "$sources" "$out/photos$n" "$n"
done
# song FILE BPM SECONDS [busy]
song() {
  local file=$1 bpm=$2 seconds=$3 busy=${4:-}
  [ -s "$file" ] && return
  local bars=$(( (seconds * bpm + 239) / 240 ))
  "$build/demo/demo_music" "$out/tmp.wav" "$bpm" "$bars" $busy
  case "$file" in
    *.mp3) lame --quiet --preset standard "$out/tmp.wav" "$file" ;;
    *.ogg) ffmpeg -v error -y -i "$out/tmp.wav" -c:a libvorbis -q:a 5 "$file" ;;
    *.flac) ffmpeg -v error -y -i "$out/tmp.wav" -c:a flac "$file" ;;
    *) mv "$out/tmp.wav" "$file" ;;
  esac
  rm -f "$out/tmp.wav"
}
mkdir -p "$out/playlist10" "$out/playlist20" "$out/synth"
song "$out/playlist10/1.mp3" 96 200; song "$out/playlist10/2.ogg" 128 200; song "$out/playlist10/3.flac" 110 204
song "$out/playlist20/1.mp3" 96 400; song "$out/playlist20/2.ogg" 128 400; song "$out/playlist20/3.flac" 110 404
for bpm in 72 90 120 140 174; do
  song "$out/synth/$bpm.wav" "$bpm" 60
  song "$out/synth/${bpm}_busy.wav" "$bpm" 60 busy
done
echo "prepare_inputs: photos, playlists and songs in $out"
