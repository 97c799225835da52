#!/usr/bin/env bash
# Redraws the configuration tool's pictures (tool/resources/) with our own
# drawing program, tool/artwork/draw_artwork.cpp. The pictures are committed;
# run this after changing the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck disable=SC2046
g++ -std=c++17 -O1 -fPIC -Wall -Wextra -Werror -I. tool/artwork/draw_artwork.cpp tool/artwork/gif_writer.cpp \
  $(pkg-config --cflags --libs Qt5Gui) -o "$scratch/draw_artwork"
QT_QPA_PLATFORM=offscreen "$scratch/draw_artwork" tool/resources
ls tool/resources
