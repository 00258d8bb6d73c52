#!/bin/sh
# Regenerates the pictures of docs/img/ (README picture and the guide's
# before/after previews) from the bundled sample with `korvane eval`.
#   scripts/make-previews.sh [BUILD_DIR]     (default build/release)
# Builds korvane and the plug-in there first if they are missing.
set -e
cd "$(dirname "$0")/.."
B=${1:-build/release}
K=$B/tools/korvane
if [ ! -x "$K" ]; then
    cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$B" -j"$(nproc)" --target korvane Korvane
fi
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# Sample caches: the bundled blob, one with holes, a bumpy one, a coarse one.
$K sample "$T/blob" --frames 3 >/dev/null
$K sample "$T/holes" --frames 1 --holes >/dev/null
$K sample "$T/rough" --frames 1 --rough >/dev/null
$K sample "$T/coarse" --frames 1 --tris 1200 >/dev/null

# shot NAME CACHE FRAME [--set ATTR=VALUE | --facets]...
shot() {
    name=$1 cache=$2 frame=$3
    shift 3
    $K eval --quiet --set m_flPath="$T/$cache" --set m_flName='Fluid.####' --frames "$frame" \
        --out "docs/img/$name.png" --size 480x360 "$@" >/dev/null
    echo "docs/img/$name.png"
}
mkdir -p docs/img
N="--set m_flLoadNormals=on"
shot sample               blob   3 $N --set m_flLoadColors=on
shot close_holes_before   holes  1 $N
shot close_holes_after    holes  1 $N --set m_fxCloseHoles=on
shot thickness_before     holes  1 $N
shot thickness_after      holes  1 $N --set m_fxThickness=1
shot quadrangulate_before coarse 1 --facets
shot quadrangulate_after  coarse 1 --facets --set m_fxQuadrangulate=on
shot triangulate_before   coarse 1 --facets --set m_fxQuadrangulate=on
shot triangulate_after    coarse 1 --facets --set m_fxQuadrangulate=on --set m_fxTriangulate='All Polygons'
shot smooth_before        rough  1
shot smooth_after         rough  1 --set m_fxSimpleSmooth=10
