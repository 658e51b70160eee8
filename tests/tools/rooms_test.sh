#!/usr/bin/env bash
# rooms_test.sh ROOT WORK: the rooms of ROOT's tools/ keep their rule, and scripts/rooms.py sees a
# break of it where there is one, in a small tree made under WORK.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: rooms_test.sh ROOT WORK" >&2; exit 2; }
root=$1 work=$2
status=0
fail() { echo "rooms_test: $*" >&2; status=1; }

python3 "$root/scripts/rooms.py" "$root" || fail "the rooms of tools/ break their rule (above)"

rm -rf "$work" && mkdir -p "$work/tools/one" "$work/tools/two" "$work/tools/shared"
printf '#include "tools/two/b.h"\n#include "tools/shared/s.h"\n#include "tools/one/a.h"\nint main() {}\n' >"$work/tools/one/main.cpp"
printf '#include "tools/shared/s.h"\nint main(int, char**) {}\n' >"$work/tools/two/main.cpp"
printf '#include "tools/one/a.h"\n' >"$work/tools/shared/s.h"
printf '#include "tools/shared/s.h"\n' >"$work/tools/loose.cpp"
got=$(python3 "$root/scripts/rooms.py" "$work")
rc=$?
want='in no room: tools/loose.cpp
program one includes program two: tools/one/main.cpp
shared room shared includes program one: tools/shared/s.h'
[ $rc -eq 1 ] || fail "a tree with breaks passed (exit $rc)"
[ "$got" = "$want" ] || fail "breaks reported as:
$got
instead of:
$want"
exit $status
