#!/bin/sh
# Installs, with apt-get, whatever the build needs and the machine lacks.
# Usage: scripts/install-deps.sh [core|python|bench|fuzz|clang|tsan|windows|all]
#   (default: core; each other set adds its packages to core's: python the
#   Python module's, clang the compiler and its OpenMP, tsan the same (LLVM's
#   OpenMP brings the Archer tool that ThreadSanitizer needs) and the
#   sanitizer run times, windows the MinGW-w64
#   cross compiler, Wine and GoogleTest's sources)
set -e
want="cmake g++ make libimath-dev libgtest-dev libgmock-dev libfast-float-dev libstb-dev"
case "${1:-core}" in
    python|all) want="$want pybind11-dev python3-dev python3-numpy python3-pytest" ;;
esac
case "${1:-core}" in
    bench|all) want="$want libbenchmark-dev libopenmesh-dev libtinyobjloader-dev libassimp-dev libcgal-dev hyperfine" ;;
esac
case "${1:-core}" in
    fuzz|all) want="$want clang libclang-rt-14-dev" ;;
esac
case "${1:-core}" in
    clang|tsan|all) want="$want clang libomp-14-dev" ;;
esac
case "${1:-core}" in
    tsan) want="$want libclang-rt-14-dev" ;;
esac
case "${1:-core}" in
    windows|all) want="$want g++-mingw-w64-x86-64-posix wine64 googletest" ;;
esac
missing=""
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq || true
    $SUDO apt-get install -y -qq $missing >/dev/null
fi
