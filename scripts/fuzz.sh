#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz/ and runs each one for
# its share of a bounded time, starting from the seed corpus in fuzz/corpus/. Exits non-zero
# when a target finds a crash, a sanitizer error, a broken property or a time-out; the input
# that did it is left in build-fuzz/artifacts/<target>/.
#   scripts/fuzz.sh [total-seconds]     default 60, or TELV_FUZZ_SECONDS
# New inputs the fuzzer finds go to build-fuzz/corpus/<target>/, never into the repository.
set -euo pipefail
cd "$(dirname "$0")/.."

total=${1:-${TELV_FUZZ_SECONDS:-60}}
build=build-fuzz
jobs=${TELV_FUZZ_BUILD_JOBS:-2}
targets=(controller_fuzzer exporter_fuzzer)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="${TELV_FUZZ_CXX:-clang++}" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DTELV_SANITIZE=ON -DTELV_BUILD_FUZZ=ON -DTELV_BUILD_TESTS=OFF -DTELV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

seconds=$(( total / ${#targets[@]} ))
(( seconds >= 1 )) || seconds=1
status=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  echo "== $target for ${seconds} s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
       -dict=fuzz/controller.dict -artifact_prefix="$artifacts" -print_final_stats=1 \
       "$work" fuzz/corpus; then
    echo "== $target FAILED; the input is in $artifacts" >&2
    status=1
  fi
done
exit "$status"
