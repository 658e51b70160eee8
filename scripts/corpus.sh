#!/usr/bin/env bash
# Makes the corpus of real files that the inflater and PNG benchmarks and differential tests use
# when it is there (none of it is ours, none of it is committed):
#   DIR/photos/<package>/  the photographs of scripts/fetch_photos.sh (linked, not copied)
#   DIR/zlib/<name>        installed files: a tar of the C++ standard library headers and the
#                          cmake binary, each also as zlib streams <name>.1.zz, .6.zz, .9.zz
#                          (levels 1, 6 and 9, compressed by perl's Compress::Zlib, i.e. zlib)
# A second run with everything present costs nothing. Exits non-zero, with one line on stderr,
# when something cannot be made.
#   scripts/corpus.sh [DIR]      (default build/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/corpus}
sources=build/photo-sources

scripts/fetch_photos.sh "$sources" || { echo "corpus: no photographs" >&2; exit 1; }
mkdir -p "$dir/photos" "$dir/zlib"
for p in "$sources"/*/; do
  name=$(basename "$p")
  [ "$name" = debs ] && continue
  ln -sfn "$(realpath "$p")" "$dir/photos/$name"
done

# name, then the command that writes the file to stdout.
make_file() {
  local name=$1; shift
  [ -s "$dir/zlib/$name" ] && return 0
  "$@" >"$dir/zlib/$name.tmp" && mv "$dir/zlib/$name.tmp" "$dir/zlib/$name"
}
headers=$(ls -d /usr/include/c++/* | sort -V | tail -n 1)
make_file cxx-headers.tar tar -C "$(dirname "$headers")" --sort=name --mtime=@0 --owner=0 --group=0 -cf - "$(basename "$headers")" ||
  { echo "corpus: cannot tar $headers" >&2; exit 1; }
make_file cmake.bin cat "$(command -v cmake)" || { echo "corpus: no cmake binary" >&2; exit 1; }

for f in cxx-headers.tar cmake.bin; do
  for level in 1 6 9; do
    out="$dir/zlib/$f.$level.zz"
    [ -s "$out" ] && continue
    perl -MCompress::Zlib -e 'local $/; binmode STDIN; binmode STDOUT; my $z = compress(<STDIN>, $ARGV[0]);
                              defined $z or exit 1; print $z' "$level" <"$dir/zlib/$f" >"$out.tmp" &&
      mv "$out.tmp" "$out" || { echo "corpus: cannot compress $f at level $level" >&2; exit 1; }
  done
done
echo "corpus: $(find -L "$dir/photos" -name '*.png' | wc -l) PNG photos, $(ls "$dir"/zlib/*.zz | wc -l) zlib streams in $dir"
