#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it the way a client
# does: both examples configured and built against that prefix only (with
# its CMake packages, then with pkg-config) and run against simulated
# receivers; the installed libraries' exports, SONAMEs and the tool's run
# path checked; the Debian package built and checked with lintian.
#   bash scripts/test-install.sh <build-dir>
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-out/build}")
# shellcheck source=scripts/work-folder.sh
source scripts/work-folder.sh
fail() { echo "FAIL: $*" >&2; exit 1; }
check() { echo "ok: $*"; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
libdir=$(dirname "$(find "$prefix" -name libZEMBRAIMU.so.1 | head -1)")
[ -n "$libdir" ] || fail "libZEMBRAIMU.so.1 not installed"

# The libraries: real files behind the version links, the SONAME, and no
# symbol exported beyond the interface.
for lib in ZEMBRAIMU:2 ZEMBRA_IMU:18; do
  name=${lib%%:*} want=${lib##*:}
  [ -f "$libdir/lib$name.so.1.0.0" ] && [ -L "$libdir/lib$name.so.1" ] && [ -L "$libdir/lib$name.so" ] ||
    fail "lib$name.so -> .so.1 -> .so.1.0.0 not in place"
  soname=$(readelf -d "$libdir/lib$name.so.1.0.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$name.so.1" ] || fail "lib$name SONAME is '$soname'"
  exports=$(nm -D --defined-only "$libdir/lib$name.so.1.0.0" | awk '$2 ~ /^[TDBRVW]$/ {print $3}')
  count=$(printf '%s\n' "$exports" | grep -c .)
  [ "$count" -eq "$want" ] || { printf '%s\n' "$exports"; fail "lib$name exports $count symbols, not $want"; }
  check "lib$name: SONAME $soname, $count exports"
done
for f in include/zembra/ZEMBRAIMU.h include/zembra/Pose.h include/zembra/ZEMBRA_IMU.h \
  bin/ZEMBRAGloveConfigTool bin/zembra-hands bin/zembra-stream bin/zembra-ports bin/zembra-receiver-sim share/zembra/record/bones.txt \
  lib/udev/rules.d/99-zembra-receivers.rules share/applications/zembra-glove-config-tool.desktop \
  share/doc/zembra/performance.md share/doc/zembra/streaming.md share/doc/zembra/stream-web-page.png \
  share/doc/zembra/python.md share/doc/zembra/api/index.html; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
check "headers, programs, skeleton, udev rule, desktop entry and docs installed"

# The tool's working folder: the desktop entry starts the tool there, and
# its 3D demo is the installed viewer.
folder=$prefix/share/zembra
grep -qx "Path=$folder" "$prefix/share/applications/zembra-glove-config-tool.desktop" ||
  fail "the desktop entry does not start the tool in $folder"
demo=$folder/demo/ZEMBRAGloveDataStreaming/ZEMBRAGloveDataStreaming
[ "$(realpath "$demo")" = "$(realpath "$prefix/bin/zembra-hands")" ] || fail "$demo is not the installed viewer"
check "the tool's folder holds its 3D demo, the viewer"

# The SteamVR driver folder: manifest, settings, input profile, icons and
# the library, which exports HmdDriverFactory alone, finds the installed
# glove driver through its run path and loads.
steamvr=$prefix/share/zembra/steamvr/zembra
for f in driver.vrdrivermanifest resources/settings/default.vrsettings resources/input/zembra_glove_profile.json \
  resources/icons/left_glove_ready.png resources/icons/right_glove_off.png bin/linux64/driver_zembra.so; do
  [ -f "$steamvr/$f" ] || fail "steamvr/zembra/$f not installed"
done
for json in driver.vrdrivermanifest resources/settings/default.vrsettings resources/input/zembra_glove_profile.json; do
  python3 -m json.tool "$steamvr/$json" >/dev/null || fail "steamvr/zembra/$json is not JSON"
done
driver=$steamvr/bin/linux64/driver_zembra.so
exports=$(nm -D --defined-only "$driver" | awk '$2 ~ /^[TDBRVW]$/ {print $3}')
[ "$exports" = HmdDriverFactory ] || { printf '%s\n' "$exports"; fail "driver_zembra.so exports more than HmdDriverFactory"; }
found=$(env -u LD_LIBRARY_PATH ldd "$driver" | sed -n 's/.*libZEMBRAIMU.so.1 => \(.*\) (.*/\1/p')
[ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$libdir/libZEMBRAIMU.so.1")" ] ||
  fail "driver_zembra.so finds '$found', not the installed library"
env -u LD_LIBRARY_PATH python3 -c 'import ctypes, sys; ctypes.CDLL(sys.argv[1]).HmdDriverFactory' "$driver" ||
  fail "driver_zembra.so does not load"
check "SteamVR driver folder installed; driver_zembra.so exports HmdDriverFactory alone and loads"

# The tool finds the library through its run path.
tool=$prefix/bin/ZEMBRAGloveConfigTool
runpath=$(readelf -d "$tool" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../${libdir#"$prefix"/}" ] || fail "tool RUNPATH is '$runpath'"
found=$(env -u LD_LIBRARY_PATH ldd "$tool" | sed -n 's/.*libZEMBRAIMU.so.1 => \(.*\) (.*/\1/p')
[ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$libdir/libZEMBRAIMU.so.1")" ] ||
  fail "the tool finds '$found', not the installed library"
check "tool RUNPATH $runpath"

# The examples, built against the prefix alone, each both ways.
source scripts/simulated-receivers.sh
start_simulated_receivers "$build" "$work/tree"
pcdir=$libdir/pkgconfig
for example in glove-client plugin-host; do
  for how in cmake pkg-config; do
    dir=$work/$example-$how
    if [ "$how" = cmake ]; then
      args=(-DCMAKE_PREFIX_PATH="$prefix")
    else
      args=(-DZEMBRA_USE_PKG_CONFIG=ON)
    fi
    PKG_CONFIG_PATH=$pcdir PKG_CONFIG_LIBDIR=$pcdir cmake -S "examples/$example" -B "$dir" "${args[@]}" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$example ($how) configure"; }
    cmake --build "$dir" >>"$dir.log" 2>&1 || { cat "$dir.log"; fail "$example ($how) build"; }
    LD_LIBRARY_PATH=$libdir timeout 60 "$dir/$example" 2 >"$dir.out" 2>&1 || { cat "$dir.out"; fail "$example ($how) run"; }
    grep -E "^poses received: [1-9]" "$dir.out" || { cat "$dir.out"; fail "$example ($how) received no poses"; }
    check "$example built with $how and streamed"
  done
done

# The installed zembra-stream serves its page, its script and Debian's
# three.js (from libjs-three's folder, not the build tree) on loopback.
start_stream_page "$prefix/bin/zembra-stream" "$work/stream.out" --seconds 20 || fail "the installed zembra-stream"
stream_pid=${pids[-1]}
python3 - "$page" <<'PY' || fail "the installed zembra-stream's page"
import sys, urllib.request
page = sys.argv[1]
direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))  # loopback, never a proxy
def get(path):
    with direct.open(page + path, timeout=20) as r:
        return r.read()
assert b"/hands.js" in get(""), "the page"
assert b"WebSocket" in get("hands.js"), "the page's script"
with open("/usr/share/javascript/three/three.min.js", "rb") as f:
    assert get("three/three.min.js") == f.read(), "three.js is not libjs-three's"
PY
kill "$stream_pid"
wait "$stream_pid" 2>/dev/null || true
check "the installed zembra-stream serves its page and libjs-three's three.js"

# The Python module, from the prefix alone: the driver found through its run
# path, the module on the prefix's Python path, streaming the simulated gloves.
if compgen -G "$build/python/zembra.cpython-*.so" >/dev/null; then
  module=$(find "$prefix" -name 'zembra.cpython-*.so' | head -1)
  [ -n "$module" ] || fail "the Python module was built but not installed"
  [ "$(dirname "$module")" = "$prefix/lib/python3/dist-packages" ] || fail "the Python module went to $module"
  found=$(env -u LD_LIBRARY_PATH ldd "$module" | sed -n 's/.*libZEMBRAIMU.so.1 => \(.*\) (.*/\1/p')
  [ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$libdir/libZEMBRAIMU.so.1")" ] ||
    fail "the Python module finds '$found', not the installed library"
  python_bin=$(sed -n 's/^Python3_EXECUTABLE:FILEPATH=//p' "$build/CMakeCache.txt")
  env -u LD_LIBRARY_PATH PYTHONPATH="$(dirname "$module")" "${python_bin:-python3}" examples/python/live.py \
    --seconds 1 >"$work/python.out" 2>&1 || { cat "$work/python.out"; fail "live.py on the installed module"; }
  grep -q "^left .*thumb" "$work/python.out" && grep -q "^right .*thumb" "$work/python.out" ||
    { cat "$work/python.out"; fail "live.py printed no bends of both hands"; }
  check "the Python module imports from the prefix and streams both hands"
fi

# The Debian package.
if [ "${ZEMBRA_SKIP_DEB:-0}" != 1 ]; then
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack -G DEB"; }
  deb=$(ls "$work"/deb/*.deb)
  dpkg-deb --info "$deb" | grep -E "Depends|Package|Version"
  if [ -n "${module:-}" ]; then
    grep -q "/usr/lib/python3/dist-packages/zembra.cpython-" <<<"$(dpkg-deb --contents "$deb")" ||
      fail "the package does not ship the Python module"
    grep -q "python3-numpy" <<<"$(dpkg-deb --field "$deb" Depends)" || fail "the package does not depend on python3-numpy"
    check "the package ships the Python module and depends on python3-numpy"
  fi
  grep -qw "libjs-three" <<<"$(dpkg-deb --field "$deb" Depends)" || fail "the package does not depend on libjs-three"
  check "the package depends on libjs-three, which zembra-stream's page draws with"
  lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
  cat "$work/lintian.log"
  if grep -q "^E:" "$work/lintian.log"; then fail "lintian reports errors"; fi
  dpkg-deb -c "$deb" >"$work/contents.txt"
  grep -q "usr/share/zembra/steamvr/zembra/bin/linux64/driver_zembra.so" "$work/contents.txt" ||
    fail "the package has no SteamVR driver folder"
  check "$(basename "$deb") built; lintian reports no error"
fi
echo "INSTALL TESTS PASSED"
