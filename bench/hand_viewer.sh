#!/usr/bin/env bash
# The hand viewer with both simulated gloves streaming 200 poses a second
# each, on Xvfb with Mesa's software renderer: the viewer program's
# processor use (user plus system time from /proc over a measuring window
# after a settling time) and the frames it drew; then the in-process
# benchmark for the latency from a burst's write to the frame showing it.
#   bash bench/hand_viewer.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-out/build}
seconds=${2:-10}
hands=$build/tool/viewer/zembra-hands
[ -x "$hands" ] && [ -x "$build/bench/bench_hand_viewer" ] || { echo "build $hands and bench_hand_viewer first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is needed (package xvfb)" >&2; exit 2; }

# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh
# shellcheck source=scripts/simulated-receivers.sh
source scripts/simulated-receivers.sh
start_simulated_receivers "$build" "$work/tree"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
settle=3
xvfb-run -a -s "-screen 0 1280x800x24" "$hands" --seconds $((settle + seconds + 1)) --stats >"$work/viewer.out" 2>&1 &
runner=$!
viewer=""
for _ in $(seq 100); do
  viewer=$(pgrep -f -n "^$hands" || true)
  [ -n "$viewer" ] && break
  sleep 0.1
done
[ -n "$viewer" ] || { cat "$work/viewer.out"; echo "the viewer did not start" >&2; exit 1; }
sleep "$settle"
first=$(ticks "$viewer")
sleep "$seconds"
last=$(ticks "$viewer")
wait "$runner"
hz=$(getconf CLK_TCK)
awk -v t=$((last - first)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "viewer process CPU: %.1f%% of one core over %d s\n", 100 * t / hz / s, s }'
grep "frames drawn" "$work/viewer.out"
echo "latency (in process):"
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bench/bench_hand_viewer" "$seconds" 2>/dev/null | grep -E "frames|latency"
