#!/usr/bin/env bash
# Builds and runs every benchmark (tests/bench/bench_*.cpp) under Wine; each prints its
# figures. Arguments are passed to every benchmark (for the store: the sizes to try).
#   scripts/bench.sh [args...]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${QM_BUILD_DIR:-$ROOT/build}
JOBS=${QM_JOBS:-$(nproc)}

if [ ! -f "$BUILD/win32/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD/win32" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686-mingw.cmake" -DQM_WINE_DIR="$BUILD/wine" >/dev/null
fi
names=()
for f in tests/bench/bench_*.cpp; do names+=("$(basename "$f" .cpp)"); done
[ ${#names[@]} -gt 0 ] || { echo "no benchmarks"; exit 0; }
cmake --build "$BUILD/win32" -j "$JOBS" --target "${names[@]}" cert_fixtures

bash testbed/wine/prefix.sh "$BUILD/wine" setup
trap 'bash testbed/wine/prefix.sh "$BUILD/wine" stop' EXIT
status=0
for name in "${names[@]}"; do
    echo "[bench] $name"
    set +e
    bash testbed/wine/run.sh "$BUILD/wine" "$BUILD/win32/bin/$name.exe" "$@" 2>&1 | grep --line-buffered -v ':fixme:'
    rc=${PIPESTATUS[0]}
    set -e
    [ "$rc" -eq 0 ] || { echo "[bench] $name failed ($rc)"; status=1; }
done
exit $status
