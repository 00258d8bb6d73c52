#!/bin/sh
# Builds the libFuzzer targets and runs each for a bounded time.
#
# One build: clang, -O2 -g -DNDEBUG (release flags), AddressSanitizer and
# UndefinedBehaviorSanitizer, coverage instrumentation of the libraries.
# Per target:
#   1. every stored input runs once (seed corpus fuzz/corpus/<t> and every
#      input that ever crashed or hung, fuzz/regressions/<t>);
#   2. it fuzzes for FUZZ_SECONDS (default 60) on one core with
#      -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=5, starting from
#      those inputs; new coverage goes to a scratch corpus under the build
#      directory, findings to <build>/artifacts/<t>/.
# Any crash, sanitizer report, leak, timeout, out-of-memory or failed check
# fails the script (exit 1) after all targets ran; the artifacts are listed.
#
# Usage: scripts/ci-fuzz.sh [target...]   (default: all)
# Environment: FUZZ_SECONDS, FUZZ_BUILD (default build/fuzz), FUZZ_ARGS
# (extra libFuzzer flags).
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
B=${FUZZ_BUILD:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
scripts/install-deps.sh fuzz
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2

CC=clang CXX=clang++ cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" \
    -DKORVANE_SANITIZE=address,undefined -DKORVANE_BUILD_FUZZ=ON -DKORVANE_WERROR=OFF \
    -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_TOOLS=ON -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$B" -j"$jobs" --target fuzz_all

targets="$*"
[ -n "$targets" ] || targets="read_znq read_drs2 read_obj read_bin load_from_file meshops cache_path create_command"

ASAN_OPTIONS="abort_on_error=1:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# libomp's worker-thread blocks live until exit (fuzz/lsan-suppressions.txt).
LSAN_OPTIONS="suppressions=$root/fuzz/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export ASAN_OPTIONS UBSAN_OPTIONS
limits="-rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=5"
failed=""
summary=""
for t in $targets; do
    exe="$B/fuzz/fuzz_$t"
    if [ ! -x "$exe" ]; then
        echo "ci-fuzz: $exe missing" >&2
        failed="$failed $t(missing)"
        continue
    fi
    work="$B/work/$t"
    art="$B/artifacts/$t"
    rm -rf "$art"
    mkdir -p "$work" "$art" "fuzz/regressions/$t"
    log="$B/fuzz-$t.log"
    start=$(date +%s)
    # 1. Every stored input once.
    if ! "$exe" -runs=0 $limits -artifact_prefix="$art/" "fuzz/corpus/$t" "fuzz/regressions/$t" >"$log" 2>&1; then
        echo "ci-fuzz: $t FAILED on a stored input:" >&2
        tail -40 "$log" >&2
        failed="$failed $t"
        continue
    fi
    # 2. Bounded fuzzing.
    if ! "$exe" -max_total_time="$seconds" $limits -print_final_stats=1 \
            -artifact_prefix="$art/" $FUZZ_ARGS "$work" "fuzz/corpus/$t" "fuzz/regressions/$t" >>"$log" 2>&1; then
        echo "ci-fuzz: $t FOUND A PROBLEM:" >&2
        grep -E "ERROR|SUMMARY|fuzz check failed|Test unit written|runtime error" "$log" | head -20 >&2
        failed="$failed $t"
    fi
    end=$(date +%s)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    line=$(printf '%-16s %6ss %12s execs %8s exec/s' "$t" "$((end - start))" "${execs:-?}" "${rate:-?}")
    echo "ci-fuzz: $line"
    summary="$summary
$line"
done

echo "ci-fuzz: per target (time includes the stored-input run):$summary"
if [ -n "$failed" ] || [ -n "$(find "$B/artifacts" -type f 2>/dev/null | head -1)" ]; then
    echo "ci-fuzz: FAILED:$failed" >&2
    find "$B/artifacts" -type f -exec ls -l {} \; >&2
    echo "Reproduce with: $B/fuzz/fuzz_<target> <artifact>; keep the input in fuzz/regressions/<target>/ once fixed." >&2
    exit 1
fi
echo "ci-fuzz: no findings"
