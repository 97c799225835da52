#!/usr/bin/env bash
# zembra-stream's processor use, pose rates and memory, as a program on
# simulated receivers (zembra-receiver-sim processes in a device tree of
# this script's own), sending to an oscdump on loopback.
#
#   bash bench/stream.sh [build-dir] [--cpu-seconds N] [--memory-minutes N]   (0 skips either)
#
# CPU: the whole server process (user + system time over a window after
# start-up) with one pair at 200 bursts/s each, and with four pairs (eight
# receivers); every glove's pose rate from the server's summary against
# the 200 bursts/s sent. Memory: the server's resident size sampled through
# a run in which the left receiver is pulled out and put back every 20 s.
# The web output is on, as by default, with no client (bench/web_clients.py
# measures it with clients), on a port of the system's choosing so that a
# server already running elsewhere on the machine does not stop the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=out/build
cpu_seconds=30
memory_minutes=10
while (($#)); do
  case "$1" in
    --cpu-seconds) cpu_seconds=$2; shift 2 ;;
    --memory-minutes) memory_minutes=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
sim=$build/sim/zembra-receiver-sim
server=$build/stream/zembra-stream
tick=$(getconf CLK_TCK)

# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh
tree=$work
export ZEMBRA_SYSFS_ROOT=$tree/sys ZEMBRA_DEV_ROOT=$tree/dev
mkdir -p "$ZEMBRA_SYSFS_ROOT" "$ZEMBRA_DEV_ROOT"

# plug <index> <hand> <performer>: one receiver, registered before it returns.
declare -A sim_pid
plug() {
  local i=$1 hand=$2 performer=$3 tag=LH
  [ "$hand" = right ] && tag=RH
  "$sim" --hand "$hand" --rate 200 --register "ttyUSB$i" --serial "ZEMBRA-$tag$performer-000$i" >"$tree/sim$i.log" 2>&1 &
  sim_pid[$i]=$!
  pids+=($!)
  for _ in $(seq 100); do grep -q "registered as" "$tree/sim$i.log" && return 0; sleep 0.05; done
  echo "receiver $i did not come up" >&2
  return 1
}
unplug() { kill "${sim_pid[$1]}"; wait "${sim_pid[$1]}" 2>/dev/null || true; }

port=39650
oscdump "$port" >/dev/null 2>&1 &
pids+=($!)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# measure <pairs>: CPU of the server and each glove's rate.
measure() {
  local pairs=$1 vmc=() p
  for p in $(seq 0 $((pairs - 1))); do vmc+=(--vmc "$p=127.0.0.1:$port"); done
  "$server" "${vmc[@]}" --http 127.0.0.1:0 --quiet --seconds $((cpu_seconds + 6)) >"$tree/server$pairs.log" 2>&1 &
  local pid=$!
  sleep 5
  local t0 c0 t1 c1
  t0=$(date +%s.%N) c0=$(cpu_ticks "$pid")
  sleep "$cpu_seconds"
  t1=$(date +%s.%N) c1=$(cpu_ticks "$pid")
  wait "$pid"
  awk -v c="$((c1 - c0))" -v hz="$tick" -v t0="$t0" -v t1="$t1" -v n="$pairs" \
    'BEGIN { printf "  %d pair(s): server CPU %.2f%% of one core over %.0f s\n", n, 100 * c / hz / (t1 - t0), t1 - t0 }'
  # "glove L0 ZEMBRA-LH0-0000: 6001 poses, 200.01/s, opened 1 time"
  grep '^glove' "$tree/server$pairs.log" | awk '{
    rate = $6; sub(/\/s,?/, "", rate); off = 100 * (rate - 200) / 200;
    printf "    %s %s %s %s poses, %s poses/s (%+.2f%% of 200)\n", $1, $2, $3, $4, rate, off }'
  grep '^vmc' "$tree/server$pairs.log" | sed 's/^/    /'
}

for i in 0 1; do plug "$i" "$([ "$i" = 0 ] && echo left || echo right)" 0; done
if [ "$cpu_seconds" != 0 ]; then
  echo "zembra-stream, VMC at its default --rate 120 to oscdump on loopback"
  measure 1
  for i in 2 3 4 5 6 7; do plug "$i" "$([ $((i % 2)) = 0 ] && echo left || echo right)" $((i / 2)); done
  measure 4
  for i in 2 3 4 5 6 7; do unplug "$i"; done
fi

if [ "$memory_minutes" != 0 ]; then
  echo "memory over $memory_minutes minutes, the left receiver pulled out and put back every 20 s"
  "$server" --vmc "127.0.0.1:$port" --http 127.0.0.1:0 --quiet --seconds $((memory_minutes * 60)) \
    >"$tree/memory.log" 2>&1 &
  pid=$!
  pids+=($pid)
  start=$(date +%s)
  samples=()
  while kill -0 "$pid" 2>/dev/null; do
    now=$(date +%s)
    elapsed=$((now - start))
    if [ $((elapsed % 20)) -lt 10 ] && [ -n "${sim_pid[0]:-}" ] && kill -0 "${sim_pid[0]}" 2>/dev/null && [ "$elapsed" -ge 20 ]; then
      unplug 0
      sleep 5
      plug 0 left 0
    fi
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$rss" ] && samples+=("$elapsed $rss")
    sleep 10
  done
  printf '%s\n' "${samples[@]}" | awk '
    NR == 1 { first = $2 } { if ($1 >= 60 && !at60) at60 = $2; last = $2; if ($2 > max) max = $2; n++ }
    END { printf "  resident size: %d kB at start, %d kB after 1 min, %d kB at the end, %d kB at most (%d samples)\n", first, at60, last, max, n }'
  grep '^glove L0' "$tree/memory.log" | sed 's/^/  /'
fi
