#!/usr/bin/env bash
# Runs kivo-tour, which opens and closes every screen and popup of KIVO against the simulators,
# under valgrind memcheck: no invalid read or write, no use of uninitialised memory and nothing
# definitely lost, or the run fails. Builds into build/ (or $KIVO_BUILD_DIR); the reports go to
# build/memcheck/ (one file per process valgrind saw; the simulators are not traced).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh" memcheck
build=${KIVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target kivo-tour kivo-sim-telephony kivo-sim-fts \
    kivo-sample-data
reports=$build/memcheck
rm -rf "$reports"
mkdir -p "$reports"
status=0
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --track-origins=yes --num-callers=40 \
    --suppressions="$top/scripts/valgrind.supp" --error-exitcode=99 \
    --log-file="$reports/memcheck.%p.log" \
    "$build/bin/kivo-tour" --output "$reports/tour" || status=$?
# The other reports are of the tour's children between fork and exec: a few lines each.
report=$(ls -S "$reports"/memcheck.*.log | head -1)
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost' "$report"
if [ "$status" -ne 0 ]; then
    echo "memcheck: errors or leaks, see $report" >&2
fi
exit "$status"
