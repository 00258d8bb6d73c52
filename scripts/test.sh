#!/bin/sh
# Installs what is missing, builds everything and runs the whole test suite.
# The configuration is the one scripts/demo.sh uses (one build folder, one
# set of options), so neither script rebuilds the other's work.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh python
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKORVANE_WERROR=ON -DKORVANE_BUILD_PYTHON=ON >/dev/null
cmake --build build/release -j"$(nproc)"
ctest --test-dir build/release --output-on-failure -j"$(nproc)"
