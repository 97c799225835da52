#!/usr/bin/env bash
# Cross-builds the Windows binaries with MinGW-w64 and checks that each DLL
# exports exactly its interface.
#   scripts/build-windows.sh [build-dir]     (default out/build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-out/build-windows}
objdump=x86_64-w64-mingw32-objdump
# The logs sit beside the build folder: its parent (out/ in a fresh clone)
# may not exist yet.
mkdir -p "$dir"

cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEMBRA_BUILD_TOOL=OFF -DZEMBRA_BUILD_BENCH=OFF >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "${ZEMBRA_JOBS:-$(nproc)}" >"$dir.build.log" 2>&1 || { tail -60 "$dir.build.log"; exit 1; }

# exports <dll>: the names of its export table, sorted.
exports() {
  "$objdump" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort
}
check_exports() {
  local dll=$1
  shift
  local want got
  want=$(printf '%s\n' "$@" | sort)
  got=$(exports "$dll")
  if [ "$got" != "$want" ]; then
    echo "FAIL: $(basename "$dll") exports differ from its interface:"
    diff <(echo "$want") <(echo "$got") || true
    return 1
  fi
  echo "ok: $(basename "$dll") exports exactly $# names"
}
check_exports "$dir/bin/ZEMBRAIMU.dll" InitDataGlove UnInit
check_exports "$dir/bin/ZEMBRA_IMU.dll" ChannelHopping ChannelHoppingSpecific ClosePort InitDataGlove \
  OnCloseFingerAlignment OnOkPoseAlignment OnSaveCalibration OpenPort RegisterDataCallback RegisterEventCallback \
  SetAdvancedMode SetDistalThumbOffset SetHardwareVersion SetIntermediateThumbOffset SetProximalThumbOffset \
  SetThumbSlerpRate StartStreaming VibratePeriod
check_exports "$dir/steamvr/zembra/bin/win64/driver_zembra.dll" HmdDriverFactory
