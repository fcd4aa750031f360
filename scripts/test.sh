#!/usr/bin/env bash
# The one command: install the dependencies, build, run every test.
# The suite runs three times: a normal build (all tests), AddressSanitizer +
# UBSan (all tests) and ThreadSanitizer (the threaded tests of the non-Qt
# libraries). The package's own configuration (Release, no tests) is compiled
# with warnings as errors, since its optimiser finds warnings the others miss.
# Lab tests need root; without it CTest reports them as skipped.
# Last, every fuzz target runs its seed corpus and then fuzzes for a few
# seconds (scripts/fuzz.sh runs them as long as asked).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

build() { # dir, extra cmake arguments...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

echo "== normal build =="
build build/release
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== package configuration: Release, no tests, warnings as errors =="
build build/package-check -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

echo "== AddressSanitizer + UBSan =="
build build/asan -DDF_SANITIZE=address -DDF_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer (threaded tests) =="
build build/tsan -DDF_SANITIZE=thread -DDF_WITH_QT=OFF -DDF_BENCH=OFF
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L threaded

echo "== fuzzing: each target's seed corpus, then 5 s of fuzzing =="
bash scripts/fuzz.sh --seconds 5
