#!/usr/bin/env bash
# How much of one core the whole configuration tool process uses at idle
# while both simulated gloves stream 200 poses a second each: user plus
# system time from /proc over a measuring window, after a settling time.
#
#   bash bench/tool_cpu.sh [build-dir] [seconds]
# Runs the tool on the offscreen platform unless DISPLAY is set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-out/build}
seconds=${2:-20}
tool=$build/tool/ZEMBRAGloveConfigTool
sim=$build/sim/zembra-receiver-sim
[ -x "$tool" ] && [ -x "$sim" ] || { echo "build $tool and $sim first" >&2; exit 2; }

# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh

export ZEMBRA_OPENVR_LIBRARY=$build/sim/fake_openvr/libstandin_openvr_api.so
# shellcheck source=scripts/simulated-receivers.sh
source scripts/simulated-receivers.sh
start_simulated_receivers "$build" "$work"

[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
(cd "$work" && exec "$OLDPWD/$tool") >"$work/tool.log" 2>&1 &
tool_pid=$!
pids+=($tool_pid)
sleep 3  # found, opened, streaming

ticks() { awk '{print $14 + $15}' "/proc/$tool_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
start=$(date +%s.%N)
sleep "$seconds"
after=$(ticks)
end=$(date +%s.%N)
poses=$(grep -c "start async read" "$work/tool.log" || true)
awk -v t=$((after - before)) -v hz="$hz" -v s="$start" -v e="$end" -v o="$poses" 'BEGIN {
  wall = e - s
  printf "tool process CPU: %.2f%% of one core over %.1f s (both gloves streaming, %d port opens)\n",
         100 * t / hz / wall, wall, o
}'
