#!/bin/sh
# The whole build and test suite once with clang, warnings as errors: the
# warnings module (cmake/KorvaneWarnings.cmake) gives clang only flags that it
# knows, so nothing hides an unknown option.
#
# Release flags as scripts/test.sh, but -O1: the stage checks that clang
# compiles the code clean and that the suite passes with clang's code; the
# speed of the result is the benchmarks' business. Benchmarks and fuzzers are
# left out (the fuzz stage builds the fuzzers with clang).
#
# Usage: scripts/ci-clang.sh [build directory]   (default build/clang)
set -e
cd "$(dirname "$0")/.."
B=${1:-build/clang}
scripts/install-deps.sh clang   # clang and its OpenMP run time
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
CC=clang CXX=clang++ cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DKORVANE_WERROR=ON -DKORVANE_BUILD_BENCH=OFF -DKORVANE_BUILD_FUZZ=OFF >/dev/null
cmake --build "$B" -j"$jobs"
if ! ctest --test-dir "$B" --output-on-failure -j"$jobs"; then
    echo "ci-clang: FAILED" >&2
    exit 1
fi
echo "ci-clang: clang build clean (-Werror), all tests passed"
