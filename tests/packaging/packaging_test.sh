#!/usr/bin/env bash
# packaging_test.sh install|deb BUILD WORK VERSION PROGRAM...: installs the build in BUILD into a
# folder under WORK (cmake --install with a prefix of its own, or the .deb that cpack makes,
# unpacked with dpkg-deb -x) and runs the installed programs from there, as a user would after
# installing. Nothing is installed on the machine.
set -uo pipefail
[ $# -ge 5 ] || { echo "usage: packaging_test.sh install|deb BUILD WORK VERSION PROGRAM..." >&2; exit 2; }
mode=$1 build=$2 work=$3 version=$4
shift 4
programs=("$@")
status=0
fail() { echo "packaging_test: $*" >&2; status=1; }
rm -rf "$work" && mkdir -p "$work"

case "$mode" in
  install)
    root=$work/prefix
    cmake --install "$build" --prefix "$root" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
    ;;
  deb)
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
      { cat "$work/cpack.log" >&2; exit 1; }
    deb=$(ls "$work/cpack"/hallshow_"$version"_*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] || { fail "cpack made no hallshow_${version}_<arch>.deb"; exit 1; }
    dpkg-deb -I "$deb" >"$work/info.txt" || { fail "dpkg-deb -I cannot read $deb"; exit 1; }
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = hallshow ] || fail "Package is '$(field Package)'"
    [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
    [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
    for f in Section Priority Maintainer Description; do
      [ -n "$(field $f)" ] || fail "the control file has no $f"
    done
    [[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
    # What the programs run or load without linking, and what dpkg-shlibdeps found they link.
    depends=$(field Depends)
    for p in fonts-dejavu-core ffmpeg libc6 libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libmpg123-0 libfreetype6 libfontconfig1 libegl1 libpng16-16; do
      [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
    done
    root=$work/root
    dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x failed"; exit 1; }
    root=$root/usr
    [ -f "$root/share/doc/hallshow/copyright" ] || fail "no copyright file in share/doc/hallshow"
    # GPL 3 or later, pointing to Debian's copy of the licence's text.
    grep -q "^License: GPL-3.0-or-later" "$root/share/doc/hallshow/copyright" || fail "copyright does not say GPL-3.0-or-later"
    grep -q "/usr/share/common-licenses/GPL-3" "$root/share/doc/hallshow/copyright" || fail "copyright does not point to common-licenses/GPL-3"
    for p in libvips42 libaubio5 libopencv-objdetect406; do
      [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p (hallshow-make): $depends"
    done
    [[ "$(field Recommends)" == *opencv-data* ]] || fail "Recommends lacks opencv-data (hallshow-make's faces): $(field Recommends)"
    for p in libgstreamer1.0-0 libzmq5 libavahi-client3; do
      [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p (hallshow-wall): $depends"
    done
    [[ "$(field Recommends)" == *avahi-daemon* ]] || fail "Recommends lacks avahi-daemon (hallshow-wall --join): $(field Recommends)"
    ;;
  *) echo "packaging_test: mode is install or deb, not '$mode'" >&2; exit 2 ;;
esac

# Every program, its page, the documents, and nothing left unresolved when it starts.
for p in "${programs[@]}"; do
  [ -x "$root/bin/$p" ] || { fail "bin/$p is not installed"; continue; }
  page=$root/share/man/man1/$p.1.gz
  if ! zcat "$page" 2>/dev/null | grep -q "^\.TH "; then fail "no man page share/man/man1/$p.1.gz"; fi
  ldd "$root/bin/$p" | grep -q "not found" && fail "bin/$p needs libraries that are not found: $(ldd "$root/bin/$p" | grep 'not found')"
  [ "$p" = hallshow ] && continue  # takes no arguments, and needs a screen
  out=$("$root/bin/$p" --version 2>&1) && [ "$out" = "$p $version" ] || fail "$p --version printed '$out'"
  "$root/bin/$p" --help >"$work/help.txt" 2>&1 && grep -q "usage" "$work/help.txt" || fail "$p --help failed"
done
for doc in README.md show.txt photo_credits.txt copyright; do
  [ -s "$root/share/doc/hallshow/$doc" ] || fail "share/doc/hallshow/$doc is missing"
done
# GeoNames' towns go along where the build machine has them, credited in the copyright file.
if [ -f /usr/local/share/hallshow/cities.pbf ]; then
  cmp -s /usr/local/share/hallshow/cities.pbf "$root/share/hallshow/cities.pbf" || fail "share/hallshow/cities.pbf is missing"
  grep -q "^License: CC-BY-4.0" "$root/share/doc/hallshow/copyright" || fail "copyright does not credit GeoNames"
fi

# kesto: the demo show text to track files, each dumped back to text, and the text built again
# gives the same bytes.
kesto=$root/bin/kesto
show=$work/show
if "$kesto" build "$root/share/doc/hallshow/show.txt" "$show" >/dev/null; then
  tracks=$(ls "$show/kestos" | wc -l)
  [ "$tracks" -eq 22 ] || fail "kesto build wrote $tracks tracks, not 22"
  : >"$work/dumped.txt"
  for f in "$show"/kestos/*.kesto; do "$kesto" dump "$f" >>"$work/dumped.txt" || fail "kesto dump $f failed"; done
  "$kesto" build "$work/dumped.txt" "$work/again" >/dev/null || fail "kesto cannot build its own dump"
  for f in "$show"/kestos/*.kesto; do
    cmp -s "$f" "$work/again/kestos/$(basename "$f")" || fail "$(basename "$f") differs after the round trip"
  done
  [ "$("$kesto" eval "$show/kestos/base_happy.kesto" 72s)" = 2 ] || fail "kesto eval: the demo's happy is not 2 at its end"
else
  fail "kesto build of the installed show.txt failed"
fi

# hallshow-capture: a frame of that show, rendered in the show's folder.
if [ -d "$show/kestos" ]; then
  if (cd "$show" && SDL_AUDIODRIVER=dummy "$root/bin/hallshow-capture" --at 12.5s --size 320x180 --output frame.png \
        >"$work/capture.log" 2>&1); then
    # A PNG's width and height: big-endian, bytes 16 to 23, after the signature and the IHDR header.
    read -r -a b < <(od -An -tu1 -j16 -N8 "$show/frame.png")
    size=$(( (b[0] << 24 | b[1] << 16 | b[2] << 8 | b[3]) ))x$(( (b[4] << 24 | b[5] << 16 | b[6] << 8 | b[7]) ))
    [ "$size" = 320x180 ] || fail "hallshow-capture wrote a frame of $size, not 320x180"
  else
    fail "hallshow-capture --at failed: $(cat "$work/capture.log")"
  fi
fi

[ $status -eq 0 ] && echo "packaging_test $mode: passed"
exit $status
