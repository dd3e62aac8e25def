#!/usr/bin/env bash
# Builds the three trees: build/win32 (agent, stand-ins, tests), build/win64 (provider),
# build/native (decoders under sanitizers, fuzzers), and gathers the deliverables in build/dist.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${QM_BUILD_DIR:-$ROOT/build}
JOBS=${QM_JOBS:-$(nproc)}

configure() {  # dir, extra args...
    local dir=$1; shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    fi
}

configure "$BUILD/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-mingw.cmake" -DQM_WINE_DIR="$BUILD/wine"
configure "$BUILD/win64" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64-mingw.cmake" -DQM_WINE_DIR="$BUILD/wine"
configure "$BUILD/native" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

for tree in win32 win64 native; do
    echo "[build] $tree"
    cmake --build "$BUILD/$tree" -j "$JOBS"
done

rm -rf "$BUILD/dist"
cmake --install "$BUILD/win32" --prefix "$BUILD/dist" >/dev/null
cmake --install "$BUILD/win64" --prefix "$BUILD/dist" >/dev/null
echo "[build] deliverables in $BUILD/dist:"
ls -1 "$BUILD/dist"
