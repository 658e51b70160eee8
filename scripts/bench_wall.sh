#!/usr/bin/env bash
# scripts/bench_wall.sh [OUT_DIR]: how closely hallshow-wall's machines keep in step (docs/wall.md).
#
# Every machine runs on this one: a leader and 3 followers, each in a network namespace of its own,
# joined by veth pairs to a switch in another namespace; each machine's link is shaped with
# tc netem (2 ms ± 1 ms delay, 1 % loss, each way). Where the kernel has no netem (as on the
# machines this was first measured on), the switch is scripts/wall_link_shaper.py, which holds and
# drops the frames in the same way in user space, instead of a bridge. Each follower's clock is shifted by seconds and
# runs 100 ppm fast (libfaketime). Every machine draws offscreen (Mesa) at 60 frames a second and
# logs, per frame, the true time at which it is seen (the kernel's boot-time clock, by system call,
# which libfaketime does not shift) and its row. Timeline: the followers 1 s after the leader, the
# third 8 s after it (a late start), the leader killed at 18 s and started again at 28 s.
# Then the same on loopback without namespaces or shaping, and 1 and then 16 followers that only
# compute rows, for the leader's load. scripts/bench_wall_report.py turns the logs into figures.
#
# Needs root (ip netns, tc). Traffic stays inside the namespaces made here and on loopback; every
# loop and wait is bounded; the namespaces and processes go on exit, however it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
wall=$root/build/release/tools/hallshow-wall
out=${1:-$root/build/bench-wall}
faketime=/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1
# Debian's own Python: a version manager's shim on PATH can take seconds to start on a loaded
# machine, and the timeline's stamps and the shaping switch must not wait for it.
python=/usr/bin/python3
[ "$(id -u)" -eq 0 ] || { echo "bench_wall.sh: needs root (ip netns, tc netem)" >&2; exit 1; }
[ -x "$wall" ] || { echo "bench_wall.sh: build it first: scripts/build.sh release hallshow-wall" >&2; exit 1; }
[ -e "$faketime" ] || { echo "bench_wall.sh: libfaketime is missing (scripts/deps.sh)" >&2; exit 1; }

prefix=hsw$$  # namespaces and links of this run only
namespaces=()
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  for ns in "${namespaces[@]}"; do ip netns del "$ns" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 1' INT TERM  # through the EXIT trap

now_ns() { $python -c 'import time; print(time.clock_gettime_ns(time.CLOCK_BOOTTIME))'; }

# A show of SECONDS that ends by itself, with two photos, in DIR.
make_show() {
  local dir=$1 seconds=$2
  mkdir -p "$dir/kestos" "$dir/hall.photo"
  $python - "$dir" "$seconds" <<'PY'
import struct, sys
d, rows = sys.argv[1], int(float(sys.argv[2]) * 20)
def track(name, keys, kind=1):
    with open(f"{d}/kestos/base_{name}.kesto", "wb") as f:
        f.write(struct.pack("<i", len(keys)))
        for r, v in keys: f.write(struct.pack("<ifb", r, v, kind))
track("happy", [(0, 1), (rows, 2)], 0)
track("back.n", [(0, 1)], 0)
for c in "rgb": track("back." + c, [(0, 1)], 0)
track("back.rotz", [(0, 0), (rows, 720)])
track("back.x", [(0, -2), (rows, 2)])
PY
  ffmpeg -v error -y -f lavfi -i testsrc=s=256x256 -frames:v 1 "$dir/hall.photo/01.png"
  ffmpeg -v error -y -f lavfi -i testsrc2=s=256x256 -frames:v 1 "$dir/hall.photo/17.jpg"
}

# make_network N: a switch namespace and N machine namespaces 10.77.0.1 ... on it, shaped.
netem=yes
make_network() {
  local n=$1 i ns ports=()
  ip netns add "${prefix}sw"; namespaces+=("${prefix}sw")
  ip netns add "${prefix}probe"; namespaces+=("${prefix}probe")
  ip netns exec "${prefix}probe" tc qdisc add dev lo root netem delay 2ms 2>/dev/null || netem=no
  if [ $netem = yes ]; then
    ip -n "${prefix}sw" link add br0 type bridge
    ip -n "${prefix}sw" link set br0 up
  fi
  for ((i = 0; i < n; i++)); do
    ns=${prefix}m$i
    ip netns add "$ns"; namespaces+=("$ns")
    ip link add "${prefix}a$i" type veth peer name "${prefix}b$i"
    ip link set "${prefix}a$i" netns "$ns"
    ip link set "${prefix}b$i" netns "${prefix}sw"
    ip -n "$ns" link set "${prefix}a$i" name eth0
    ip -n "$ns" addr add "10.77.0.$((i + 1))/24" dev eth0
    ip -n "$ns" link set eth0 up
    ip -n "$ns" link set lo up
    ports+=("${prefix}b$i")
    if [ $netem = yes ]; then
      ip -n "${prefix}sw" link set "${prefix}b$i" master br0 up
      # Each machine's sending side: every packet between two machines crosses one shaped link.
      ip netns exec "$ns" tc qdisc add dev eth0 root netem delay 2ms 1ms loss 1%
    else
      # Frames pass through user space whole: checksums filled in and nothing coalesced.
      ip netns exec "$ns" ethtool -K eth0 tx off rx off tso off gso off gro off >/dev/null 2>&1 || true
      ip netns exec "${prefix}sw" ethtool -K "${prefix}b$i" tx off rx off tso off gso off gro off >/dev/null 2>&1 || true
      ip -n "${prefix}sw" link set "${prefix}b$i" up
    fi
  done
  if [ $netem = no ]; then
    echo "bench_wall: this kernel has no netem; the switch shapes the links in user space"
    ip netns exec "${prefix}sw" $python "$root/scripts/wall_link_shaper.py" 2 1 1 600 "${ports[@]}" >"$out/shaper.txt" &
    pids+=("$!")
    sleep 0.5
  fi
  echo "$netem" >"$out/netem"
}

# run_on MACHINE_INDEX|- DIR LOG FAKE ARGS...: starts hallshow-wall in the machine's namespace
# ("-": none, loopback), clock shifted by FAKE ("" for none); its pid joins pids.
started=
run_on() {
  local m=$1 dir=$2 log=$3 fake=$4; shift 4
  local cmd=(env LP_NUM_THREADS=1 SDL_AUDIODRIVER=dummy)
  [ -n "$fake" ] && cmd+=(LD_PRELOAD="$faketime" FAKETIME="$fake")
  [ "$m" != - ] && cmd=(ip netns exec "${prefix}m$m" "${cmd[@]}")
  (cd "$dir" && exec "${cmd[@]}" "$wall" --log "$log" "$@" 2>"$log.err") &
  started=$!
  pids+=("$started")
}

# wait_all SECONDS PID...: waits for the processes, killing what is left after SECONDS.
wait_all() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit)) pid
  for pid in "$@"; do
    while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.5; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

# The scenario of the header: leader, f1 and f2 at 1 s, f3 at 8 s, leader killed at 18 s and back at 28 s.
scenario() {
  local run=$1 where=$2  # where: ns (machines 0..3) or lo
  local host port m
  rm -rf "$run"; mkdir -p "$run"
  for m in lead f1 f2 f3; do make_show "$run/$m/show" 40; done
  if [ "$where" = ns ]; then host=10.77.0.1; port=5637; else host=127.0.0.1; port=$((20000 + $$ % 20000)); fi
  machine() { [ "$where" = ns ] && echo "$1" || echo -; }
  echo "lead1 $(now_ns)" >"$run/timeline"
  run_on "$(machine 0)" "$run/lead/show" "$run/lead1.log" "" --lead --port "$port" --offscreen 320x180; local lead=$started
  sleep 1
  echo "f1 $(now_ns)" >>"$run/timeline"
  run_on "$(machine 1)" "$run/f1/show" "$run/f1.log" "+3s x1.0001" --join "$host:$port" --offscreen 320x180; local f1=$started
  echo "f2 $(now_ns)" >>"$run/timeline"
  run_on "$(machine 2)" "$run/f2/show" "$run/f2.log" "-5s x1.0001" --join "$host:$port" --offscreen 320x180; local f2=$started
  sleep 7
  echo "f3 $(now_ns)" >>"$run/timeline"
  run_on "$(machine 3)" "$run/f3/show" "$run/f3.log" "+11s x1.0001" --join "$host:$port" --offscreen 320x180; local f3=$started
  sleep 10
  echo "kill $(now_ns)" >>"$run/timeline"
  kill -9 "$lead"; wait "$lead" 2>/dev/null || true
  sleep 10
  echo "lead2 $(now_ns)" >>"$run/timeline"
  run_on "$(machine 0)" "$run/lead/show" "$run/lead2.log" "" --lead --port "$port" --offscreen 320x180; lead=$started
  wait_all 90 "$lead" "$f1" "$f2" "$f3"
  cat /proc/loadavg >"$run/loadavg"
}

# The leader's processor time (user + system, clock ticks) over a fixed stretch with N row-only followers.
leader_load() {
  local run=$1 n=$2 i
  rm -rf "$run"; mkdir -p "$run"
  for ((i = 0; i <= n; i++)); do make_show "$run/m$i/show" 40; done
  run_on 0 "$run/m0/show" "$run/lead.log" "" --lead --rows-only; local lead=$started
  local followers=()
  for ((i = 1; i <= n; i++)); do
    run_on "$i" "$run/m$i/show" "$run/f$i.log" "+${i}s x1.0001" --join "10.77.0.1:5637" --rows-only
    followers+=("$started")
  done
  sleep 8  # every follower has joined by now
  local before after
  before=$(awk '{print $14 + $15}' "/proc/$lead/stat")
  sleep 20
  after=$(awk '{print $14 + $15}' "/proc/$lead/stat")
  echo "$n $before $after $(getconf CLK_TCK) 20" >"$run/leader_cpu"
  cat /proc/loadavg >"$run/loadavg"
  wait_all 30 "$lead" "${followers[@]}"
}

mkdir -p "$out"
lscpu | grep 'Model name' | sed 's/ \+/ /g' >"$out/cpu"
make_network 17
echo "bench_wall: namespaces, shaped (about 75 s)"
scenario "$out/namespaces" ns
echo "bench_wall: loopback, unshaped (about 75 s)"
scenario "$out/loopback" lo
echo "bench_wall: the leader's load with 1 and 16 row-only followers (about 60 s)"
leader_load "$out/load-1" 1
leader_load "$out/load-16" 16
$python "$root/scripts/bench_wall_report.py" "$out" | tee "$out/report.md"
