#!/usr/bin/env bash
# The Windows stage: cross-builds with MinGW-w64, checks the DLL exports,
# and runs the Windows tests under Wine in a private prefix, ending with
# both libraries streaming from simulated receivers behind COM ports.
#   scripts/test-windows.sh <linux-build-dir> [windows-build-dir]
# The Linux build provides the receiver simulator. Exits 0 with a message
# when MinGW or Wine is missing; non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:?usage: test-windows.sh <linux-build-dir> [windows-build-dir]}
dir=${2:-out/build-windows}
start=$(date +%s)

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=("MinGW-w64 (g++-mingw-w64-x86-64-posix)")
command -v wine >/dev/null || missing+=("Wine (wine64)")
if ((${#missing[@]})); then
  echo "SKIPPED: the Windows stage needs ${missing[*]}; scripts/setup.sh installs them"
  exit 0
fi
sim=$linux_build/sim/zembra-receiver-sim
if [ ! -x "$sim" ]; then
  echo "FAIL: no receiver simulator at $sim"
  exit 1
fi

bash scripts/build-windows.sh "$dir" || exit 1

# A private prefix, booted once; one wineserver serves every program.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zembra-wine.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
if ! wine wineboot -i >"$WINEPREFIX.boot.log" 2>&1; then
  cat "$WINEPREFIX.boot.log"
  echo "FAIL: wineboot"
  exit 1
fi
wineserver -p 60
status=0

echo "--- unit, platform and registry tests under Wine"
(cd "$dir" && ctest --output-on-failure -LE receivers) || status=1

# Two receivers: the left one goes quiet for 1.5 s after 300 bursts on each
# channel, so that the driver has to re-select its channel.
echo "--- both libraries against simulated receivers on COM5 (left) and COM6 (right)"
logs=$WINEPREFIX/logs
mkdir -p "$logs"
"$sim" --hand left --rate 200 --fault silence=1500 --fault silence-after=300 >"$logs/left.log" 2>&1 &
pids+=($!)
"$sim" --hand right --rate 200 >"$logs/right.log" 2>&1 &
pids+=($!)
regfile=$WINEPREFIX/receivers.reg
printf 'Windows Registry Editor Version 5.00\r\n' >"$regfile"
port=5
for hand in left right; do
  tag=LH
  [ "$hand" = right ] && tag=RH
  pty=""
  for _ in $(seq 50); do
    pty=$(sed -n 's/^port: //p' "$logs/$hand.log")
    [ -n "$pty" ] && break
    sleep 0.1
  done
  if [ -z "$pty" ]; then
    cat "$logs/$hand.log"
    echo "FAIL: the $hand simulator did not come up"
    exit 1
  fi
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$port"
  key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USB\VID_0403&PID_6001\ZEMBRA-'$tag'0-000'$port
  {
    printf '\r\n[%s]\r\n' "$key"
    printf '"ClassGUID"="{4d36e978-e325-11ce-bfc1-08002be10318}"\r\n'
    printf '"FriendlyName"="USB Serial Port (COM%s)"\r\n' "$port"
    printf '"HardwareID"=hex(7):%s\r\n' "$(printf 'USB\\VID_0403&PID_6001\0\0' | iconv -t UTF-16LE | od -An -tx1 | tr -s ' \n' ',' | sed 's/^,//;s/,$//')"
    printf '\r\n[%s\\Device Parameters]\r\n' "$key"
    printf '"PortName"="COM%s"\r\n' "$port"
    printf '"LatencyTimer"=dword:00000010\r\n'
  } >>"$regfile"
  port=$((port + 1))
done
wine regedit /S "$(winepath -w "$regfile")" || { echo "FAIL: regedit"; status=1; }
(cd "$dir" && ZEMBRA_WINE_RECEIVERS=1 ctest --output-on-failure -L receivers) || {
  status=1
  tail -n 5 "$logs"/*.log
}
# The command-line programs against the same receivers.
ports_out=$(wine "$dir/bin/zembra-ports.exe" 2>&1)
if echo "$ports_out" | grep -q "Left hand:  COM5" && echo "$ports_out" | grep -q "Right hand: COM6"; then
  echo "ok: zembra-ports finds COM5 (left) and COM6 (right)"
else
  echo "$ports_out"
  echo "FAIL: zembra-ports"
  status=1
fi

echo "Windows stage: $(($(date +%s) - start)) s"
exit $status
