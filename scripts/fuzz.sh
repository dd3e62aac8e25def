#!/usr/bin/env bash
# Runs each libFuzzer target for a while (default 180 s each), growing its corpus in a
# scratch copy: scripts/fuzz.sh [seconds] [name...]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-180}
shift || true
bash scripts/build.sh >/dev/null
BUILD=${QM_BUILD_DIR:-$ROOT/build}
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for f in tests/fuzz/fuzz_*.cpp; do n=$(basename "$f" .cpp); names+=("${n#fuzz_}"); done
fi
for name in "${names[@]}"; do
    work=$(mktemp -d)
    cp -r "tests/fuzz/corpus/$name/." "$work/"
    echo "[fuzz] $name for ${SECONDS_EACH}s"
    "$BUILD/native/tests/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -print_final_stats=1 "$work" 2>&1 | tail -12
    rm -rf "$work"
done
