#!/bin/sh
# Installs what is missing, builds what the demo runs (the korvane program and
# the plug-in, nothing else), and runs the main job on the bundled sample.
#
# It configures build/release exactly as scripts/test.sh does, so the two
# share one build: neither rebuilds what the other built, and running the
# tests after the demo only compiles the tests.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh core
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKORVANE_WERROR=ON >/dev/null
cmake --build build/release -j"$(nproc)" --target korvane Korvane
K=build/release/tools/korvane
if $K sample sample >/dev/null 2>&1; then
    $K info sample/Fluid.0003.znq --all
    # The plug-in in the headless host: a KorvaneCreate network reading the
    # sample cache (format .znq appends the extension to the name pattern),
    # frames 1 to 5 written as .obj files.
    if $K eval --help >/dev/null 2>&1; then
        $K eval --set m_flPath="$PWD/sample" --set m_flName='Fluid.####' \
            --set m_flLoadNormals=on --set m_flLoadMotions=on --set m_flLoadColors=on \
            --set m_flLoadUVWs=on --frames 1-5 --out 'out/Fluid.####.obj'
    fi
else
    echo "korvane built: $($K --help | head -1)"
fi
