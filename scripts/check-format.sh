#!/usr/bin/env bash
# Fails when a tracked C++ source differs from what clang-format (with the
# repository's .clang-format files) would write; lists the files that do.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
unformatted=()
for source in "${sources[@]}"; do
  if ! clang-format --dry-run --Werror "$source" >/dev/null 2>&1; then
    unformatted+=("$source")
  fi
done
if [ ${#unformatted[@]} -ne 0 ]; then
  echo "check-format: not clang-format clean (run clang-format -i on them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#sources[@]} sources clean"
