#!/usr/bin/env bash
# zembra-stream's web page in docs/: both simulated hands moving, drawn by
# headless Chromium (software WebGL) from a zembra-stream on loopback.
# Needs a build (out/build by default) and Debian's chromium.
#   bash scripts/screenshot-web.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-out/build}
stream=$build/stream/zembra-stream
[ -x "$stream" ] || { echo "build $stream first" >&2; exit 2; }
command -v chromium >/dev/null || { echo "install chromium first" >&2; exit 2; }
# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh
# shellcheck source=scripts/simulated-receivers.sh
source scripts/simulated-receivers.sh

start_simulated_receivers "$build" "$work/tree"
start_stream_page "$stream" "$work/stream.log" --seconds 120
sleep 3 # both hands streaming
chromium --headless --no-sandbox --disable-gpu --enable-unsafe-swiftshader --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --window-size=1000,620 --timeout=6000 \
  --screenshot=docs/stream-web-page.png "$page" 2>/dev/null
ls -l docs/stream-web-page.png
