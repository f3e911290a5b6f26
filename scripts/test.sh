#!/usr/bin/env bash
# Quick start, second command: install what is missing, build everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, run the whole test suite,
# then run each fuzz target for a bounded time on its seed corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --test
jobs=$(nproc)

cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DKT_SANITIZE=ON >/dev/null
cmake --build "$root/build/asan" -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$root/build/asan" --output-on-failure -j"$jobs"

# The voice must match its reference bit for bit also where the optimiser reorders and
# vectorises: its tests once more from a Release build.
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DKT_BENCH=OFF >/dev/null
cmake --build "$root/build/release" -j"$jobs" --target test_voice
"$root/build/release/tests/voice/test_voice" --gtest_brief=1

if [[ -f "$root/fuzz/CMakeLists.txt" ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=Debug -DKT_FUZZ=ON >/dev/null
  cmake --build "$root/build/fuzz" --target fuzzers -j"$jobs"
  ctest --test-dir "$root/build/fuzz" --output-on-failure -j"$jobs"
fi
