#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the suite with gcc,
# the suite under AddressSanitizer+UndefinedBehaviorSanitizer (clang), the
# concurrency tests under ThreadSanitizer (clang), and each fuzz target for a
# bounded time.
#   FUZZ_SECONDS=30 scripts/test-all.sh
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

jobs=$(nproc)
stage() { printf '\n=== %s ===\n' "$*"; }

stage "build and test (gcc)"
./scripts/build.sh build -DVLT_BENCH=ON
(cd build && ctest --output-on-failure -j"$jobs")

stage "build and test under AddressSanitizer + UndefinedBehaviorSanitizer (clang)"
./scripts/build.sh build-asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DVLT_SANITIZE=address,undefined -DVLT_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs")

stage "concurrency tests under ThreadSanitizer (clang)"
./scripts/build.sh build-tsan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DVLT_SANITIZE=thread -DVLT_BENCH=OFF
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --output-on-failure -j"$jobs" -R Concurrent)

stage "fuzz targets (libFuzzer, ${FUZZ_SECONDS:-30} s each)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVLT_FUZZ=ON -DVLT_TESTS=OFF -DVLT_BENCH=OFF >/dev/null
# Only the fuzz targets (fuzz_* and *_fuzzer) and what they link.
fuzz_targets=$(ninja -C build-fuzz -t targets all | sed -n -E 's/^(fuzz_[A-Za-z0-9_]+|[a-z][A-Za-z0-9_]*_fuzzer): phony.*/\1/p' | grep -v '^cmake_' | sort -u)
ninja -C build-fuzz -j"$jobs" $fuzz_targets
fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-30}"

stage "all test stages passed"
