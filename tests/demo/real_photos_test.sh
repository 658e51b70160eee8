#!/usr/bin/env bash
# real_photos_test.sh CATALOGUE PACK WORK: demo_catalogue (CATALOGUE) run on stand-ins for the packages' originals
# (small gradients under the names demo/photo_credits.txt gives) makes the same file names as the
# generated pack in PACK, each of the type its extension promises, at the size the credits give it,
# and the cut-outs transparent where they are cut. The fetched photographs themselves are not needed.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: real_photos_test.sh CATALOGUE PACK WORK" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
demo=$here/../../demo
catalogue=$1 pack=$2 work=$3
status=0
fail() { echo "real_photos_test: $*" >&2; status=1; }
rm -rf "$work" && mkdir -p "$work/sources"

credits=$(grep -v '^#' "$demo/photo_credits.txt" | awk 'NF')
while read -r package original; do
  mkdir -p "$work/sources/$package"
  convert -size 64x48 gradient:orange-navy "$work/sources/$package/$original" || exit 1
done < <(awk '{print $4, $5}' <<<"$credits" | sort -u)

mkdir -p "$work/show"
"$catalogue" "$demo/photo_credits.txt" "$work/sources" "$work/show" || { fail "demo_catalogue failed"; exit 1; }
diff <(ls "$pack/hall.photo") <(ls "$work/show/hall.photo") >"$work/names.diff" ||
  fail "the file names differ from the generated pack's: $(cat "$work/names.diff")"

while read -r file size made _; do
  path=$work/show/hall.photo/$file
  [ -s "$path" ] || { fail "$file was not made"; continue; }
  magic=$(head -c 4 "$path" | od -An -tx1 | tr -d ' \n')
  case "$file" in
    *.png) want=89504e47 ;;
    *.jpg | *.JPG) want=ffd8ff ;;
    *.gif) want=47494638 ;;
  esac
  [[ $magic == "$want"* ]] || fail "$file starts with $magic, not as its extension promises"
  got=$(identify -format "%wx%h" "$path" 2>/dev/null)
  [ "$got" = "$size" ] || fail "$file is $got, the credits say $size"
  case "$made" in
    cameo | frame | iris | circle)
      # Transparent somewhere (its cut) and opaque somewhere (the photo).
      range=$(convert "$path" -alpha extract -format "%[fx:minima] %[fx:maxima]" info: 2>/dev/null)
      [ "$range" = "0 1" ] || fail "$file ($made) has alpha from ${range:-nothing}, not 0 to 1" ;;
    palette)
      [ "$(identify -format "%[type]" "$path")" = Palette ] || fail "$file is not a palette PNG" ;;
  esac
done <<<"$credits"

[ $status -eq 0 ] && echo "real_photos_test: passed"
exit $status
