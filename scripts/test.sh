#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# normal build (build/) and in the AddressSanitizer + UndefinedBehaviorSanitizer
# build (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
scripts/install-deps.sh

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 900
}

run_suite build
# The .deb made from the same build, installed, checked and removed again.
if [ "$(id -u)" -eq 0 ]; then
  scripts/check-package.sh build
else
  echo "test: not root, so the .deb is not installed and checked (sudo scripts/check-package.sh)"
fi
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVEXLO_BUILD_GUI=OFF -DVEXLO_BUILD_BENCH=OFF
