#!/bin/sh
# The test suite under ThreadSanitizer, with 2 and with 7 OpenMP threads.
#
# clang (or $CC/$CXX) with LLVM's OpenMP run time; its Archer tool (loaded
# through OMP_TOOL_LIBRARIES) tells ThreadSanitizer about OpenMP's barriers
# and tasks, so that only real races are reported. -O1 -g, every report
# fatal; warnings are the gcc build's business (clang does not know all of
# its flags), so they are not errors here. The install.* tests are left out,
# as in ci-sanitize.sh; the plug-in tests run with the host's thread count
# (the node passes it on).
#
# Opt-in, not a CI stage: it builds the whole project a second time under
# ThreadSanitizer (more than 5 minutes from scratch on the 2-core CI machine)
# and runs the suite twice (about half a minute each). A second argument limits the tests (a ctest -R regex), e.g.
#   scripts/ci-tsan.sh build/tsan 'Threads|CleanUp|Dyn'
#
# Usage: scripts/ci-tsan.sh [build directory] [test regex]   (default build/tsan)
set -e
cd "$(dirname "$0")/.."
B=${1:-build/tsan}
R=${2:-}
scripts/install-deps.sh core
: "${CC:=clang}"
: "${CXX:=clang++}"
export CC CXX
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DKORVANE_SANITIZE=thread -DKORVANE_WERROR=OFF -DKORVANE_BUILD_PYTHON=OFF \
    -DKORVANE_BUILD_FUZZ=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$B" -j"$jobs"

archer=$(ls /usr/lib/llvm-*/lib/libarcher.so 2>/dev/null | tail -n 1 || true)
if [ -n "$archer" ]; then
    OMP_TOOL_LIBRARIES=$archer
    export OMP_TOOL_LIBRARIES
else
    echo "ci-tsan: no libarcher.so found; OpenMP barriers may be reported as races" >&2
fi
# The OpenMP run time itself is not instrumented: its own locking (seen
# through the pthread interceptors) is left out of the reports.
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
export TSAN_OPTIONS
for n in 2 7; do
    echo "ci-tsan: OMP_NUM_THREADS=$n"
    if ! OMP_NUM_THREADS=$n ctest --test-dir "$B" --output-on-failure -j"$jobs" -E '^install\.' \
        ${R:+-R "$R"}; then
        echo "ci-tsan: FAILED with $n threads (ThreadSanitizer report or failing test, see above)" >&2
        exit 1
    fi
done
echo "ci-tsan: all tests passed under ThreadSanitizer with 2 and 7 threads"
