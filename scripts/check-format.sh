#!/usr/bin/env bash
# Checks that our C++ files are formatted as the committed .clang-format
# says; third_party/ is not ours and build folders are not sources.
#   bash scripts/check-format.sh          lists what differs; non-zero if anything does
#   bash scripts/check-format.sh --fix    formats those files in place
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "FAIL: clang-format is missing (scripts/setup.sh test installs it)"; exit 1; }

files=()
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  while IFS= read -r -d '' f; do [ -f "$f" ] && files+=("$f"); done < <(
    git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' ':!:third_party/*')
else
  while IFS= read -r -d '' f; do files+=("$f"); done < <(
    find . \( -path ./third_party -o -path ./out \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0)
fi

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit
fi
clang-format --dry-run -Werror "${files[@]}"
