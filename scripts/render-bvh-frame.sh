#!/usr/bin/env bash
# Draws one frame of a BVH file as a PNG (from above and from the front),
# with tool/artwork/render_bvh_frame.cpp. For the documentation.
#   bash scripts/render-bvh-frame.sh <file.bvh> <frame> <out.png>
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck disable=SC2046
g++ -std=c++17 -O1 -fPIC -Wall -Wextra -Werror -I. -Itool/recording/include tool/artwork/render_bvh_frame.cpp tool/recording/bvh_reader.cpp tool/recording/bvh_pose.cpp \
  $(pkg-config --cflags --libs Qt5Gui) -o "$scratch/render_bvh_frame"
QT_QPA_PLATFORM=offscreen "$scratch/render_bvh_frame" "$1" "$2" "$3"
