#!/usr/bin/env bash
# Lays out the folder the configuration tool runs in: record/bones.txt for
# recordings, and demo/ with the demo programs the tool starts by relative
# path, where they were built.
#   bash scripts/prepare-tool-folder.sh <build-dir> <folder>
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
folder=$2
mkdir -p "$folder/record" "$folder/demo"
cp tool/record/bones.txt "$folder/record/bones.txt"
for demo in ZEMBRAGloveDataStreaming ZEMBRAGloveVRInteraction; do
  built=$(find "$build" -type f -perm -u+x -name "$demo" 2>/dev/null | head -n 1 || true)
  if [ -n "$built" ]; then
    mkdir -p "$folder/demo/$demo"
    ln -sf "$built" "$folder/demo/$demo/$demo"
  fi
done
