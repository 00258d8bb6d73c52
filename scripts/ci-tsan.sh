#!/bin/sh
# The test suite under ThreadSanitizer, with 2 and with 7 OpenMP threads: no
# report, no failing test. A stage of .ci/run.
#
# clang (or $CC/$CXX) with LLVM's OpenMP run time; its Archer tool (loaded
# through OMP_TOOL_LIBRARIES) tells ThreadSanitizer about OpenMP's barriers
# and tasks, so that only real races are reported. Every report is fatal;
# warnings are errors (cmake/KorvaneWarnings.cmake gives clang only flags
# that it knows). The install.* tests are left out, as in ci-sanitize.sh
# (an outside consumer built without sanitizer flags); the plug-in tests run
# with the host's thread count (the node passes it on).
#
# Build cost, kept low for CI: -O1 with line tables only (-gline-tables-only:
# a report still names file and line of every frame; full debug info would
# about double the objects and the link time under TSan), no benchmarks,
# fuzzers or Python module (none of them is part of the suite).
#
# A second argument limits the tests (a ctest -R regex), e.g.
#   scripts/ci-tsan.sh build/tsan 'Threads|CleanUp|Dyn'
#
# Usage: scripts/ci-tsan.sh [build directory] [test regex]   (default build/tsan)
set -e
cd "$(dirname "$0")/.."
B=${1:-build/tsan}
R=${2:-}
scripts/install-deps.sh tsan   # clang, LLVM's OpenMP with Archer, the sanitizer run times
: "${CC:=clang}"
: "${CXX:=clang++}"
export CC CXX
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DKORVANE_SANITIZE=thread -DKORVANE_WERROR=ON -DKORVANE_BUILD_PYTHON=OFF \
    -DKORVANE_BUILD_FUZZ=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$B" -j"$jobs"

archer=$(ls /usr/lib/llvm-*/lib/libarcher.so 2>/dev/null | tail -n 1 || true)
if [ -z "$archer" ]; then
    echo "ci-tsan: no libarcher.so (LLVM's OpenMP tool); without it OpenMP's barriers read as races" >&2
    exit 1
fi
OMP_TOOL_LIBRARIES=$archer
export OMP_TOOL_LIBRARIES
# The OpenMP run time itself is not instrumented: its own locking (seen
# through the pthread interceptors) is left out of the reports.
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
export TSAN_OPTIONS
# The tests' scratch files in memory where /dev/shm is there: a folder test
# creates 100,000 files, which under ThreadSanitizer on a busy shared disk
# took minutes (4 s in memory). An explicit TMPDIR is kept.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    TMPDIR=$(mktemp -d /dev/shm/korvane-tsan.XXXXXX)
    export TMPDIR
    trap 'rm -rf "$TMPDIR"' EXIT
fi
for n in 2 7; do
    echo "ci-tsan: OMP_NUM_THREADS=$n"
    start=$(date +%s)
    if ! OMP_NUM_THREADS=$n ctest --test-dir "$B" --output-on-failure -j"$jobs" -E '^install\.' \
        ${R:+-R "$R"}; then
        echo "ci-tsan: FAILED with $n threads (ThreadSanitizer report or failing test, see above)" >&2
        exit 1
    fi
    echo "ci-tsan: $n threads: $(( $(date +%s) - start )) s"
done
echo "ci-tsan: all tests passed under ThreadSanitizer with 2 and 7 threads, no report"
