#!/usr/bin/env bash
# Redraws the configuration tool's pictures in tool/resources/ (and the
# SteamVR driver's icons in steamvr/zembra/resources/icons/) with our own
# drawing program, tool/artwork/draw_artwork.cpp. The pictures are committed
# with the program; run this after changing it and commit both.
# Needs g++, pkg-config and Qt 5 Gui (qtbase5-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
pkg-config --exists Qt5Gui || { echo "Qt 5 Gui development files are needed (qtbase5-dev)" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Qt is built position independent, so its users must be too.
# shellcheck disable=SC2046
g++ -std=c++17 -O1 -fPIC -Wall -Wextra -Werror -I. \
  tool/artwork/draw_artwork.cpp tool/artwork/gif_writer.cpp \
  $(pkg-config --cflags --libs Qt5Gui) -o "$scratch/draw_artwork"
# Drawn off screen: no display is needed.
QT_QPA_PLATFORM=offscreen "$scratch/draw_artwork" tool/resources steamvr/zembra/resources/icons
ls -l tool/resources steamvr/zembra/resources/icons
