# Sourced by the scripts that need gloves without hardware:
#   start_simulated_receivers <build-dir> <tree-dir> [simulator options...]
# starts two zembra-receiver-sim processes (left ttyUSB0, right ttyUSB1, 200
# bursts a second; serials ZEMBRA-LH0-0000 and ZEMBRA-RH0-0001, so the
# plug-in finds them as receiver 0 of each hand), registered in a device tree under <tree-dir> that the
# driver's discovery reads (ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT are
# exported), appends their process ids to the caller's array `pids`, and
# returns once both are registered. Their output goes to <tree-dir>/*.log.
start_simulated_receivers() {
  local build=$1 tree=$2 index=0 hand tag
  shift 2
  export ZEMBRA_SYSFS_ROOT=$tree/sys ZEMBRA_DEV_ROOT=$tree/dev
  mkdir -p "$ZEMBRA_SYSFS_ROOT" "$ZEMBRA_DEV_ROOT"
  # One after the other: each is registered before the next one starts.
  for hand in left right; do
    tag=LH
    [ "$hand" = right ] && tag=RH
    "$build/sim/zembra-receiver-sim" --hand "$hand" --rate 200 \
      --register "ttyUSB$index" --serial "ZEMBRA-${tag}0-000$index" "$@" >"$tree/$hand.log" 2>&1 &
    pids+=($!)
    index=$((index + 1))
    local registered=0
    for _ in $(seq 50); do
      if grep -q "registered as" "$tree/$hand.log" 2>/dev/null; then
        registered=1
        break
      fi
      sleep 0.1
    done
    if [ "$registered" -eq 0 ]; then
      echo "the simulated $hand receiver did not come up" >&2
      return 1
    fi
  done
}

#   start_stream_page <zembra-stream> <log> [zembra-stream options...]
# starts zembra-stream with its web page on a free loopback port (VMC to
# the discard port), appends its process id to `pids`, and sets `page` to
# the page's address once the program has printed it.
start_stream_page() {
  local stream=$1 log=$2
  shift 2
  "$stream" --quiet --vmc 127.0.0.1:9 --http 127.0.0.1:0 "$@" >"$log" 2>&1 &
  pids+=($!)
  page=""
  for _ in $(seq 200); do
    page=$(sed -n 's/.*web page at \(http:[^ ]*\) .*/\1/p' "$log")
    [ -n "$page" ] && return 0
    sleep 0.1
  done
  echo "zembra-stream named no page:" >&2
  cat "$log" >&2
  return 1
}
