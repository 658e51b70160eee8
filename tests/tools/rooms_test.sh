#!/usr/bin/env bash
# rooms_test.sh ROOT WORK: the rooms of ROOT's tools/ keep their rule, and scripts/rooms.py sees a
# break of it where there is one, in a small tree made under WORK.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: rooms_test.sh ROOT WORK" >&2; exit 2; }
root=$1 work=$2
status=0
fail() { echo "rooms_test: $*" >&2; status=1; }

python3 "$root/scripts/rooms.py" "$root" || fail "the rooms of tools/ break their rule (above)"

rm -rf "$work" && mkdir -p "$work/tools/one" "$work/tools/two" "$work/tools/shared" \
  "$work/tools/make/photos" "$work/tools/make/music" "$work/tools/make/show" "$work/tools/make/misc"
printf '#include "tools/two/b.h"\n#include "tools/shared/s.h"\n#include "tools/one/a.h"\nint main() {}\n' >"$work/tools/one/main.cpp"
printf '#include "tools/shared/s.h"\nint main(int, char**) {}\n' >"$work/tools/two/main.cpp"
printf '#include "tools/one/a.h"\n' >"$work/tools/shared/s.h"
printf '#include "tools/shared/s.h"\n' >"$work/tools/loose.cpp"
# hallshow-make's inner rooms: photos and music never see each other, only show sees both, and the
# top is no way round that.
printf '#include "tools/make/photos/p.h"\n#include "tools/make/music/m.h"\nint main() {}\n' >"$work/tools/make/main.cpp"
printf '#include "tools/make/photos/p.h"\n#include "tools/make/music/m.h"\n' >"$work/tools/make/show/s.cpp"
printf '#include "tools/make/music/m.h"\n#include "tools/make/top.h"\n' >"$work/tools/make/photos/p.h"
printf '#include "tools/make/show/s.h"\n' >"$work/tools/make/top.h"
printf '#include "tools/make/helper.h"\n' >"$work/tools/make/music/m.h"
printf '\n' >"$work/tools/make/helper.h" >"$work/tools/make/misc/x.cpp"
got=$(python3 "$root/scripts/rooms.py" "$work")
rc=$?
want='in no room: tools/loose.cpp
program one includes program two: tools/one/main.cpp
shared room shared includes program one: tools/shared/s.h
tools/make/misc/x.cpp: in no inner room of make (music, photos, places, show)
make/photos includes make/music: tools/make/photos/p.h
tools/make/photos/p.h includes tools/make/top.h, which includes inner room tools/make/show/s.h'
[ $rc -eq 1 ] || fail "a tree with breaks passed (exit $rc)"
[ "$got" = "$want" ] || fail "breaks reported as:
$got
instead of:
$want"
exit $status
