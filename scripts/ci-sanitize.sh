#!/bin/sh
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
#
# gcc (or $CC/$CXX), -O1 -g with assertions on (no -DNDEBUG), every
# sanitizer finding fatal. The install.* tests are left out: they build an
# outside consumer against the installed library without sanitizer flags.
# The fuzz replay tests (fuzz_replay_*) run here too, over the seed corpora
# and every stored crash.
#
# Usage: scripts/ci-sanitize.sh [build directory]   (default build/asan)
set -e
cd "$(dirname "$0")/.."
B=${1:-build/asan}
scripts/install-deps.sh core
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DKORVANE_SANITIZE=address,undefined -DKORVANE_WERROR=ON \
    -DKORVANE_BUILD_FUZZ=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$B" -j"$jobs"

ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export ASAN_OPTIONS UBSAN_OPTIONS
if ! ctest --test-dir "$B" --output-on-failure -j"$jobs" -E '^install\.'; then
    echo "ci-sanitize: FAILED (sanitizer finding or failing test, see above)" >&2
    exit 1
fi
echo "ci-sanitize: all tests passed under ASan+UBSan"
