# Sourced by the scripts that start processes in the background and keep
# files while they run: sets `work` to a new folder under the temporary
# folder and `pids` to an empty array. However the script ends (Ctrl+C and
# SIGTERM included, which end it), every process in `pids` is stopped and
# waited for, and the folder removed.
work=$(mktemp -d "${TMPDIR:-/tmp}/zembra.XXXXXX")
pids=()
work_folder_cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap work_folder_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
