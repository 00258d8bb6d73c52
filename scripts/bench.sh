#!/bin/sh
# The performance table: builds the benchmark driver in Release (with the
# peers tinyobjloader, assimp, OpenMesh and CGAL from Debian's packages),
# writes the data into a scratch folder, measures and prints one table.
#
# Usage: scripts/bench.sh [korvane_perf options]
#   e.g. scripts/bench.sh --runs 9 --clock cpu --only obj,eval
#   2 against 1 thread and the cold-cache playback (wall clock only):
#   scripts/bench.sh --runs 5 --only threads,cold
# Environment: KORVANE_BENCH_BUILD (build folder, default build/bench),
#   KORVANE_BENCH_AREAS=1 also builds and runs the per-area Google Benchmark
#   programs after the table.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVANE_BENCH_BUILD:-$root/build/bench}

"$root/scripts/install-deps.sh" bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_BENCH=ON \
    -DKORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target korvane_perf

"$build/bench/perf/korvane_perf" "$@"

if [ "${KORVANE_BENCH_AREAS:-0}" = 1 ]; then
    cmake --build "$build" -j2
    for b in "$build"/bench/*/bench_*; do
        [ -x "$b" ] || continue
        echo "== $(basename "$b")"
        "$b" --benchmark_min_time=0.2
    done
fi
