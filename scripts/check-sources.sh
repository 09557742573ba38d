#!/usr/bin/env bash
# Fails when a tracked C++ source is named by no CMake file: sources are
# listed one by one, so a file that was added but not listed would silently
# stay out of the build and its tests out of the run.
set -euo pipefail
cd "$(dirname "$0")/.."
listed=$(git ls-files '*CMakeLists.txt' '*.cmake' | xargs cat)
missing=()
while read -r source; do
  if ! grep -qF "$(basename "$source")" <<<"$listed"; then
    missing+=("$source")
  fi
done < <(git ls-files '*.cpp')
if [ ${#missing[@]} -ne 0 ]; then
  echo "check-sources: not listed in any CMakeLists.txt:" >&2
  printf '  %s\n' "${missing[@]}" >&2
  exit 1
fi
echo "check-sources: every source is listed"
