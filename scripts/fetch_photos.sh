#!/usr/bin/env bash
# Fetches real photographs from Debian packages, without installing anything: the packages are
# downloaded with apt-get download and unpacked with dpkg-deb -x into DIR (default
# build/photo-sources), one folder per package, each with the package's copyright file:
#   DIR/python3-skimage/   skimage's sample images (skimage/data: astronaut, coffee, chelsea, …;
#                          the astronaut's face is the one hallshow-make's crops are tested on)
#   DIR/mate-backgrounds/  MATE's desktop photographs (backgrounds/mate/nature, abstract, desktop)
# A second run with the folders present costs nothing. Exits non-zero, with one line on stderr,
# when the packages cannot be fetched (no network, no apt); callers then fall back.
#   scripts/fetch_photos.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/photo-sources}
packages=(python3-skimage mate-backgrounds)

mkdir -p "$dir/debs"
for p in "${packages[@]}"; do
  [ -f "$dir/$p/.complete" ] && continue
  if ! ls "$dir/debs/${p}"_*.deb >/dev/null 2>&1; then
    # apt-get download writes into the working directory; _apt cannot always write there, which
    # only costs a warning.
    if ! (cd "$dir/debs" && apt-get download -qq "$p" >/dev/null 2>&1); then
      echo "fetch_photos: could not download $p with apt-get" >&2
      exit 1
    fi
  fi
  rm -rf "$dir/$p.tmp" && mkdir -p "$dir/$p.tmp"
  dpkg-deb -x "$dir/debs/${p}"_*.deb "$dir/$p.tmp/root"
  case "$p" in
    python3-skimage)  src="$dir/$p.tmp/root/usr/lib/python3/dist-packages/skimage/data" ;;
    mate-backgrounds) src="$dir/$p.tmp/root/usr/share/backgrounds/mate" ;;
  esac
  mkdir -p "$dir/$p.tmp/photos"
  find "$src" -type f \( -iname '*.png' -o -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.gif' -o -name 'README.txt' \) \
    -exec cp {} "$dir/$p.tmp/photos/" \;
  cp "$dir/$p.tmp/root/usr/share/doc/$p/copyright" "$dir/$p.tmp/photos/copyright"
  rm -rf "$dir/$p" && mv "$dir/$p.tmp/photos" "$dir/$p" && rm -rf "$dir/$p.tmp"
  touch "$dir/$p/.complete"
done
