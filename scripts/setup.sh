#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with.
# Idempotent: apt-get runs only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config binutils
  libboost-dev libboost-system-dev libboost-filesystem-dev
  libjsoncpp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qtbase5-dev qtbase5-dev-tools xvfb xauth
  doxygen dpkg-dev fakeroot file lintian
  g++-mingw-w64-x86-64-posix wine wine64
  # The Python module: built and run with these (run.sh --python), tested
  # with pytest; the plot example and its test draw with matplotlib.
  pybind11-dev python3-dev python3-numpy
  python3-pytest python3-matplotlib
)

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
