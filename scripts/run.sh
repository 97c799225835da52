#!/usr/bin/env bash
# The main job: builds the project and opens the configuration tool on both
# gloves; without a display it streams live finger values in the terminal
# instead. With no receiver plugged in, two simulated receivers stand in
# for them, registered in a device tree of their own so that the driver
# finds them by discovery exactly as it finds real ones; a stand-in tracker
# runtime and a stand-in lighthouse_console then stand in for SteamVR.
#
#   bash scripts/run.sh [--hands] [--stream] [--python] [--terminal] [--unity-host] [--seconds N]
#                       [--simulate] [--advanced] [-- zembra-stream options...]
#     --hands       open the 3D hand viewer instead of the configuration tool
#                   (the tool opens it too: "Run Glove 3D Demo")
#     --stream      stream every glove to VMC receivers with zembra-stream
#                   (default 127.0.0.1:39539; options after -- go to it) for
#                   --seconds (0 runs until Ctrl-C or q)
#     --python      print both hands' bends through the Python module
#                   (examples/python/live.py)
#     --terminal    stream in the terminal even when a display is available
#     --unity-host  build the Unity package's console sample with mcs and run
#                   it under mono: both hands' finger curls through the
#                   package's C# bindings and the engine plug-in
#     --seconds N   terminal streaming, Python and the console sample stop after N
#                   seconds (default 20; 0 runs until Ctrl-C)
#     --simulate    use simulated gloves even when receivers are plugged in
#     --advanced    terminal streaming in advanced mode
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=20
simulate=0
terminal=0
hands=0
stream=0
python=0
unity_host=0
live_args=()
stream_args=()
while (($#)); do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --simulate) simulate=1; shift ;;
    --terminal) terminal=1; shift ;;
    --hands) hands=1; shift ;;
    --unity-host) unity_host=1; terminal=1; shift ;;
    --python) python=1; terminal=1; shift ;;
    --advanced) live_args+=(--advanced); shift ;;
    --stream) stream=1; shift ;;
    --) shift; stream_args=("$@"); break ;;
    *) echo "usage: $0 [--hands] [--stream] [--python] [--terminal] [--unity-host] [--seconds N] [--simulate] [--advanced] [-- stream options]" >&2; exit 2 ;;
  esac
done

if [ "$stream" -eq 0 ] && [ "$terminal" -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: streaming the poses in this terminal instead of opening the configuration tool."
  terminal=1
fi

# shellcheck source=scripts/simulated-receivers.sh
source scripts/simulated-receivers.sh
if [ "$unity_host" -eq 1 ]; then bash scripts/setup.sh run unity; else bash scripts/setup.sh run; fi
build=out/build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(zembra-live zembra-ports zembra-receiver-sim)
[ "$stream" -eq 1 ] && targets+=(zembra-stream)
[ "$unity_host" -eq 1 ] && targets+=(ZEMBRA_IMU)
[ "$stream" -eq 0 ] && [ "$terminal" -eq 0 ] && targets+=(ZEMBRAGloveConfigTool zembra-hands standin_openvr_api lighthouse_console_standin)
[ "$python" -eq 1 ] && targets=(zembra_python zembra-ports zembra-receiver-sim)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null
bin_live=$root/$build/driver/demo/zembra-live
bin_ports=$root/$build/driver/tools/zembra-ports
bin_tool=$root/$build/tool/ZEMBRAGloveConfigTool
bin_hands=$root/$build/tool/viewer/zembra-hands
bin_stream=$root/$build/stream/zembra-stream

have_receivers() {
  local listing
  listing=$("$bin_ports" 2>/dev/null || true)
  grep -Eq "serves: +left" <<<"$listing" && grep -Eq "serves: +right" <<<"$listing"
}

# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh
tree=$work

simulated=0
if [ "$simulate" -eq 0 ] && have_receivers; then
  echo "Receivers found:"
  "$bin_ports"
else
  simulated=1
  echo "No glove receivers plugged in: starting two simulated receivers."
  start_simulated_receivers "$build" "$tree"
  "$bin_ports"
fi

if [ "$unity_host" -eq 1 ]; then
  # The sample and the package's runtime without Unity; DllImport finds
  # libZEMBRA_IMU.so on the loader's path.
  host_dir=$root/out/unity-host
  mkdir -p "$host_dir"
  mcs -warnaserror -nologo -out:"$host_dir/ConsoleHost.exe" "unity/Samples~/ConsoleHost/ConsoleHost.cs" \
    unity/Runtime/ZembraImuNative.cs unity/Runtime/ZembraGlove.cs unity/Runtime/PoseSlot.cs unity/Runtime/ZembraHandFrames.cs
  LD_LIBRARY_PATH=$root/$build/plugin mono "$host_dir/ConsoleHost.exe" "$seconds"
  exit
fi

if [ "$stream" -eq 1 ]; then
  "$bin_stream" --seconds "$seconds" ${stream_args[@]+"${stream_args[@]}"}
  exit
fi

if [ "$python" -eq 1 ]; then
  # The interpreter the module was built for, with the build's module on its path.
  python_bin=$(sed -n 's/^Python3_EXECUTABLE:FILEPATH=//p' "$build/CMakeCache.txt")
  PYTHONPATH=$root/$build/python${PYTHONPATH:+:$PYTHONPATH} "${python_bin:-python3}" examples/python/live.py \
    --seconds "$seconds"
  exit
fi

if [ "$terminal" -eq 1 ]; then
  "$bin_live" --seconds "$seconds" "${live_args[@]}"
  exit
fi

if [ "$hands" -eq 1 ]; then
  echo "Opening the 3D hand viewer (close it to end)."
  "$bin_hands"
  exit
fi

# The tool works in a folder of its own: the skeleton for recordings, the
# demo programs, recorded files and tracker configuration files live there.
run_dir=$root/out/tool-run
bash scripts/prepare-tool-folder.sh "$build" "$run_dir"
if [ "$simulated" -eq 1 ]; then
  # Stand-ins for SteamVR: two wrist trackers, and a lighthouse_console
  # that answers the tool's configuration and identify commands.
  export ZEMBRA_OPENVR_LIBRARY=$root/$build/sim/fake_openvr/libstandin_openvr_api.so
  export ZEMBRA_STANDIN_OPENVR_SCENARIO=$root/scripts/standin-trackers.txt
  export PATH=$root/$build/sim/lighthouse_console_bin:$PATH
  echo "Stand-in tracker runtime and lighthouse_console in use."
fi
echo "Opening the configuration tool (close it to end). Right-click it and choose"
echo "\"Run Glove 3D Demo\" to see both hands in 3D."
(cd "$run_dir" && "$bin_tool")
