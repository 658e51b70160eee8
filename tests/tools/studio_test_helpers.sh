# Shared by the studio's Xvfb tests, sourced after they set `work` (their scratch folder, where the
# studio writes its state file and the screenshots go) and `status`.

fail() { echo "FAIL: $*" >&2; status=1; }
# state KEY: the value of KEY in the studio's last state file.
state() { awk -v k="$1" '$1 == k { sub(/^[^ ]+ ?/, ""); print; exit }' "$work/state" 2>/dev/null; }
# until_true SECONDS COMMAND...: runs COMMAND every tenth of a second until it succeeds; false on timeout.
until_true() {
  local limit=$1; shift
  for _ in $(seq $((limit * 10))); do "$@" && return 0; sleep 0.1; done
  return 1
}
# shot NAME: the whole screen as $work/NAME.png.
shot() { xwd -root -silent | convert xwd:- "$work/$1.png"; }
# differing A B [GEOMETRY]: how many pixels of screenshots A and B differ, within an optional crop.
differing() { compare -metric AE ${3:+-extract "$3"} "$work/$1.png" "$work/$2.png" null: 2>&1; }
