#!/usr/bin/env bash
# Takes the screenshot of the configuration tool in docs/: the tool under
# Xvfb with both simulated gloves delivering and the stand-in trackers, the
# whole X screen cropped to the window. Needs ImageMagick (import, convert).
#   bash scripts/screenshot-tool.sh [build-dir] [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-out/build}" && pwd)
output=${2:-docs/config-tool.png}
command -v import >/dev/null || { echo "ImageMagick's import is needed" >&2; exit 2; }

# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh
export ZEMBRA_OPENVR_LIBRARY=$build/sim/fake_openvr/libstandin_openvr_api.so
export ZEMBRA_STANDIN_OPENVR_SCENARIO=$root/scripts/standin-trackers.txt
# shellcheck source=scripts/simulated-receivers.sh
source scripts/simulated-receivers.sh
start_simulated_receivers "$build" "$work"
# The window sits at the top-left corner of a small screen.
xvfb-run -a -s "-screen 0 400x260x24" bash -c "
  cd '$work' && '$build/tool/ZEMBRAGloveConfigTool' >'$work/tool.log' 2>&1 &
  sleep 4
  import -window root '$work/screen.png'
  kill %1
" || true
convert "$work/screen.png" -crop 270x160+0+0 +repage "$output"
echo "wrote $output"
