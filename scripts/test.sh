#!/usr/bin/env bash
# Builds the project and runs every test with CTest; then the same under ASan+UBSan, and under
# ThreadSanitizer (TELV_SKIP_SANITIZERS=1 skips both sanitizer passes).
#
# Line tables (-g1) are debug information enough for backtraces and sanitizer reports, and build
# in about two thirds of the time of full debug information.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELV_WERROR=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
if [ "${TELV_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTELV_SANITIZE=ON -DTELV_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS_DEBUG="-g1"
  cmake --build build-asan -j "$jobs"
  # The soak's full minute runs in the plain build; here a shorter run, as under ThreadSanitizer.
  TELV_SOAK_SECONDS=30 ctest --test-dir build-asan --output-on-failure -j "$jobs"

  # Races inside Qt and the C library, which are not instrumented, are suppressed; the soak
  # runs shorter, as every memory access costs several times more.
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELV_SANITIZE_THREAD=ON \
    -DTELV_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
  cmake --build build-tsan -j "$jobs"
  TSAN_OPTIONS="suppressions=$PWD/tests/support/tsan.supp second_deadlock_stack=1" TELV_SOAK_SECONDS=20 \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs"
fi
