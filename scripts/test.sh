#!/usr/bin/env bash
# Set-up, build, then every test: the Windows trees under Wine, the native tree under sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
BUILD=${QM_BUILD_DIR:-$PWD/build}
status=0
for tree in native win64 win32; do
    echo "[test] $tree"
    ctest --test-dir "$BUILD/$tree" --output-on-failure || status=1
done
exit $status
