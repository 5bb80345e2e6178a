#!/usr/bin/env bash
# Builds KIVO and runs the whole test suite: headless (offscreen), each bus test on a private
# session bus of its own, every file under a temporary KIVO_ROOT. Then builds the same tree
# with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/) and runs every test again
# there (scripts/sanitize.sh). A failure of the plain suite ends the run before the second one.
# Between the two, every bench program runs once with the smallest counts (scripts/bench.sh):
# no figure is judged, only that each part ends with status 0 and prints its table, so a bench
# that broke cannot go unnoticed.
# KIVO_SKIP_SANITIZE=1 runs the plain suite and the bench only (a quick run while working; CI
# runs all three).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh" test
"$top/scripts/build.sh"
build=${KIVO_BUILD_DIR:-$top/build}
(
    export QT_QPA_PLATFORM=offscreen
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
    cd "$build"
    ctest --output-on-failure -j2 --timeout 600
)
echo "The plain suite passed; now every bench program once (scripts/bench.sh, smallest counts)."
bench_log=$(mktemp)
if ! "$top/scripts/bench.sh" --runs 1 --warmups 0 --round-trips 1 --panic-rounds 1 \
    --key-rounds 1 >"$bench_log" 2>&1 || ! grep -q "targets met" "$bench_log"; then
    cat "$bench_log"
    rm -f "$bench_log"
    echo "The bench failed or printed no table."
    exit 1
fi
cat "$bench_log"
rm -f "$bench_log"
if [ "${KIVO_SKIP_SANITIZE:-0}" = 1 ]; then
    echo "KIVO_SKIP_SANITIZE=1: the sanitizer suite was not run."
    exit 0
fi
echo "The plain suite passed; now the ASan + UBSan suite (scripts/sanitize.sh)."
"$top/scripts/sanitize.sh"
