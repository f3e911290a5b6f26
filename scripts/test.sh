#!/usr/bin/env bash
# Quick start, second command: install what is missing, build everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, run the whole test suite,
# then the threaded tests under ThreadSanitizer, the voice, instrument and
# real-time tests in a Release build, and each fuzz target for a bounded time
# on its seed corpus.
#
# Each build folder is configured with every option it depends on, so the
# command works whatever configured the folder before (scripts/demo.sh
# shares build/release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --test
jobs=$(nproc)

cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DKT_SANITIZE=ON -DKT_TESTS=ON -DKT_FUZZ=OFF >/dev/null
cmake --build "$root/build/asan" -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$root/build/asan" --output-on-failure -j"$jobs"

# Runs test programs of one build, each from its own build folder as ctest would.
run_tests() {
  local build=$1
  shift
  for t in "$@"; do
    echo "== $build: $t"
    (cd "$build/tests/$(dirname "$t")" && "./$(basename "$t")" --gtest_brief=1)
  done
}

# ThreadSanitizer on the code that runs on several threads: the instrument
# (its audio/control-thread stress included), the framework and the editor core.
cmake -S "$root" -B "$root/build/tsan" -DCMAKE_BUILD_TYPE=Debug -DKT_SANITIZE=thread -DKT_TESTS=ON -DKT_BENCH=OFF \
  -DKT_FUZZ=OFF >/dev/null
cmake --build "$root/build/tsan" -j"$jobs" --target test_instrument test_framework test_graphics
TSAN_OPTIONS=halt_on_error=1 run_tests "$root/build/tsan" \
  instrument/test_instrument framework/test_framework graphics/test_graphics

# Release: float reordering by the optimiser shows only in optimised code, and
# the real-time suite then watches glibc's own allocator instead of a sanitizer's.
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DKT_SANITIZE=OFF -DKT_TESTS=ON -DKT_BENCH=OFF \
  -DKT_FUZZ=OFF >/dev/null
cmake --build "$root/build/release" -j"$jobs" --target test_voice test_instrument test_realtime
run_tests "$root/build/release" voice/test_voice instrument/test_instrument realtime/test_realtime
# The LV2 editor in a GTK host: GTK cannot start beside a preloaded
# sanitizer run-time, so this one runs on the Release bundle.
cmake --build "$root/build/release" -j"$jobs" --target kt412_lv2_bundle kt412 kt412_jack_probe
ctest --test-dir "$root/build/release" -R 'lv2\.jalv_gtk' --no-tests=ignore --output-on-failure
# The Audio Unit validator on the optimised library, where threads race
# differently than under the sanitizers.
ctest --test-dir "$root/build/release" -R '^validate_au' --output-on-failure

if [[ -f "$root/fuzz/CMakeLists.txt" ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=Debug -DKT_FUZZ=ON >/dev/null
  cmake --build "$root/build/fuzz" --target fuzzers -j"$jobs"
  ctest --test-dir "$root/build/fuzz" --output-on-failure -j"$jobs"
fi
