#!/usr/bin/env bash
# The hand viewer's pictures in docs/: an open hand and a fist, live from
# two simulated gloves, and a recording of the moving simulated hands being
# played. Draws on Xvfb; needs a build (out/build by default).
#   bash scripts/screenshot-hands.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-out/build}
hands=$build/tool/viewer/zembra-hands
[ -x "$hands" ] || { echo "build $hands first" >&2; exit 2; }
work=$(mktemp -d)
pids=()
stop_receivers() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
}
trap 'stop_receivers; rm -rf "$work"' EXIT
# shellcheck source=scripts/simulated-receivers.sh
source scripts/simulated-receivers.sh
viewer() { xvfb-run -a -s "-screen 0 1280x800x24" "$hands" "$@"; }

for pose in open fist; do
  start_simulated_receivers "$build" "$work/tree-$pose" --pose "$pose"
  viewer --seconds 3 --screenshot "docs/hand-viewer-$pose.png" >/dev/null
  stop_receivers
done
start_simulated_receivers "$build" "$work/tree-moving"
viewer --seconds 6 --record "$work/take.bvh" | grep recorded
stop_receivers
viewer --play "$work/take.bvh" --frame 100 --seconds 1 --screenshot docs/hand-viewer-playback.png >/dev/null
ls -l docs/hand-viewer-*.png
