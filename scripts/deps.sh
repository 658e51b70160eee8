#!/usr/bin/env bash
# Installs, with apt-get, every Debian package that building, playing and testing hallshow needs.
# Only what is missing is installed, so a second run costs nothing. Needs root (or sudo).
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config clang libclang-rt-14-dev
  # platform layers: window and GL, audio, codecs, fonts
  libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev libjpeg62-turbo-dev libmpg123-dev
  libgl-dev libglu1-mesa-dev libegl-dev libosmesa6-dev libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  # hallshow-make: photos (libvips: every format, EXIF orientation, colour profiles, attention
  # crops) and the music's beats (aubio)
  libvips-dev libaubio-dev
  # and the faces its square crops keep whole (OpenCV's cascade and the models it reads)
  libopencv-objdetect-dev opencv-data
  # tests, oracles and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libpng-dev libspng-dev libstb-dev libdeflate-dev perl
  libgif-dev
  # headless runs, demo generation and capture
  xvfb xdotool x11-apps xauth imagemagick lame sox ffmpeg
  # the tempo benchmark's peer
  bpm-tools
  # hallshow-wall: the network clock (GStreamer's), what passes beside it (ZeroMQ), finding the
  # leader on the LAN (Avahi); its tests and benchmark shift clocks (libfaketime) and build
  # networks of namespaces (iproute2)
  libgstreamer1.0-dev libzmq3-dev libavahi-client-dev faketime iproute2 ethtool
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "hallshow: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
