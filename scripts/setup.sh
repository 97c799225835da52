#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, one list per purpose:
#
#   bash scripts/setup.sh run    what the main job (scripts/run.sh) builds and
#                                runs with: compilers, libraries, Qt
#   bash scripts/setup.sh test   what the test command (scripts/test.sh) needs
#                                besides: test and benchmark libraries, the
#                                fuzzing compiler, the headless display, the
#                                documentation and packaging tools, the
#                                formatter, MinGW-w64 and Wine
#   bash scripts/setup.sh unity  the C# compiler and runtime for the Unity
#                                package's bindings: scripts/run.sh
#                                --unity-host and the test command
#   bash scripts/setup.sh        all three
#
# A new package goes into the list of the job that needs it. Idempotent:
# apt-get runs only when something is missing.
set -euo pipefail

run_packages=(
  build-essential cmake pkg-config binutils
  libboost-dev libboost-system-dev libboost-filesystem-dev
  libjsoncpp-dev
  qtbase5-dev qtbase5-dev-tools
  # The tool's toolbar tips are Chinese texts: a font that has them.
  fonts-wqy-microhei
  # zembra-stream's OSC (VMC) output.
  liblo-dev
  # three.js, which zembra-stream's web page draws the hands with.
  libjs-three
  # The Python module (pybind11, numpy): built and run by run.sh --python.
  pybind11-dev python3-dev python3-numpy
)

test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  clang-format
  xvfb xauth
  doxygen dpkg-dev fakeroot file lintian
  g++-mingw-w64-x86-64-posix wine wine64
  # An OSC decoder we did not write, reading zembra-stream's output.
  liblo-tools
  # A WebSocket client and a browser we did not write, reading
  # zembra-stream's web stream and drawing its page.
  python3-websockets chromium
  # The Python module's tests, and its plot example.
  python3-pytest python3-matplotlib
)

unity_packages=(
  mono-mcs mono-runtime
)

purposes=("$@")
((${#purposes[@]})) || purposes=(run test unity)
packages=()
for purpose in "${purposes[@]}"; do
  case "$purpose" in
    run) packages+=("${run_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    unity) packages+=("${unity_packages[@]}") ;;
    *) echo "usage: $0 [run] [test] [unity]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
