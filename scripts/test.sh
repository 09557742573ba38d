#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: in the normal
# build (build/), in the AddressSanitizer + UndefinedBehaviorSanitizer build
# (build-asan/), the threaded pieces under ThreadSanitizer (build-tsan/), and
# a short run of every fuzzer (build-fuzz/). Warnings are errors throughout,
# and the sources must be clang-format clean and each named in a CMakeLists.txt.
#
# STAGES picks a subset (default: "format release asan tsan fuzz").
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
stages=${STAGES:-format release asan tsan fuzz}
scripts/install-deps.sh

want() { [[ " $stages " == *" $1 "* ]]; }

configure() {
  local preset=$1
  shift
  cmake --preset "$preset" -DVEXLO_WERROR=ON "$@"
}

if want format; then
  scripts/check-format.sh
  scripts/check-sources.sh
fi

if want release; then
  configure release
  cmake --build --preset release -j "$jobs"
  ctest --preset release -j "$jobs"
  # The .deb made from the same build, installed, checked and removed again.
  if [ "$(id -u)" -eq 0 ]; then
    scripts/check-package.sh build
  else
    echo "test: not root, so the .deb is not installed and checked (sudo scripts/check-package.sh)"
  fi
fi

if want asan; then
  configure debug -DVEXLO_BUILD_GUI=OFF
  cmake --build --preset debug -j "$jobs"
  ctest --preset debug -j "$jobs"
fi

if want tsan; then
  # The pieces that run work on more than one thread: the scan driver, the
  # progress windows with their workers, and the preview.
  # The build runs a program of ours too (the icon renderer), hence the
  # options before it; the test preset sets the same.
  export TSAN_OPTIONS="suppressions=$PWD/tools/tsan.supp:die_after_fork=0:halt_on_error=1:second_deadlock_stack=1"
  configure tsan
  cmake --build --preset tsan -j "$jobs" --target vexlo_recovery_tests \
    app_progress_windows_test app_preview_test
  build-tsan/bin/vexlo_recovery_tests
  ctest --preset tsan -R '^app_(progress_windows|preview)_test$'
  unset TSAN_OPTIONS
fi

if want fuzz; then
  configure fuzz
  cmake --build --preset fuzz -j "$jobs"
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  for corpus in fuzz/corpus/*/; do
    name=$(basename "$corpus")
    mkdir -p "$scratch/$name"
    cp -r "$corpus"/. "$scratch/$name"/
    echo "fuzz: $name for ${FUZZ_SECONDS:-10} s"
    build-fuzz/bin/"$name" -max_total_time="${FUZZ_SECONDS:-10}" -rss_limit_mb=2048 \
      "$scratch/$name" >"$scratch/$name.log" 2>&1 || { tail -50 "$scratch/$name.log"; exit 1; }
  done
fi
