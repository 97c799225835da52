#!/usr/bin/env bash
# The main job: builds the project and streams live finger values from both
# gloves. With no receiver plugged in, two simulated receivers stand in for
# them, registered in a device tree of their own so that the driver finds
# them by discovery exactly as it finds real ones.
#
#   bash scripts/run.sh [--seconds N] [--simulate] [--advanced]
#     --seconds N   stop after N seconds (default 20; 0 runs until Ctrl-C)
#     --simulate    use simulated gloves even when receivers are plugged in
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=20
simulate=0
live_args=()
while (($#)); do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --simulate) simulate=1; shift ;;
    --advanced) live_args+=(--advanced); shift ;;
    *) echo "usage: $0 [--seconds N] [--simulate] [--advanced]" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
build=out/build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target zembra-live zembra-ports zembra-receiver-sim zembra-sysfs-register >/dev/null
bin_live=$build/driver/demo/zembra-live
bin_ports=$build/driver/tools/zembra-ports

have_receivers() {
  local listing
  listing=$("$bin_ports" 2>/dev/null || true)
  grep -Eq "serves: +left" <<<"$listing" && grep -Eq "serves: +right" <<<"$listing"
}

if [ "$simulate" -eq 0 ] && have_receivers; then
  echo "Receivers found:"
  "$bin_ports"
  exec "$bin_live" --seconds "$seconds" "${live_args[@]}"
fi

echo "No glove receivers plugged in: starting two simulated receivers."
tree=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tree"
}
trap cleanup EXIT INT TERM

export ZEMBRA_SYSFS_ROOT=$tree/sys ZEMBRA_DEV_ROOT=$tree/dev
mkdir -p "$ZEMBRA_SYSFS_ROOT" "$ZEMBRA_DEV_ROOT"
index=0
for hand in left right; do
  tag=LH
  [ "$hand" = right ] && tag=RH
  "$build/sim/zembra-receiver-sim" --hand "$hand" --rate 200 \
    --register "ttyUSB$index" --serial "ZEMBRA-$tag-000$index" >"$tree/$hand.log" 2>&1 &
  pids+=($!)
  index=$((index + 1))
done
# Each simulator registers itself once its port is up.
for _ in $(seq 50); do
  [ -e "$ZEMBRA_DEV_ROOT/ttyUSB0" ] && [ -e "$ZEMBRA_DEV_ROOT/ttyUSB1" ] && break
  sleep 0.1
done
"$bin_ports"
"$bin_live" --seconds "$seconds" "${live_args[@]}"
