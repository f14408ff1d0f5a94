#!/usr/bin/env bash
# Builds everything and runs every test, the parallel-port library's test on
# Debian's own kernel under QEMU among them, runs the threads test built with
# ThreadSanitizer, then runs the suite again built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
bash tests/kernel/run.sh build

# The threads test under ThreadSanitizer: only what it needs is built.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_BUILD_GUI=OFF -DQEL_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread
cmake --build build-tsan -j "$jobs" --target busengine_threads_test
QEL_BOARD=virtual TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/busengine_threads_test

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
