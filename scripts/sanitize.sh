#!/usr/bin/env bash
# Builds KIVO, its simulators, tools and tests with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ (or $KIVO_ASAN_BUILD_DIR) and runs the whole test suite there. Any sanitizer
# report, in a test or in a program a test starts, fails the run: the programs stop at the first
# report, and every report is also written to build-asan/sanitizer-logs/, which must stay empty.
# LeakSanitizer is on; scripts/lsan.supp holds the only leaks let pass (system libraries).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh" test
build=${KIVO_ASAN_BUILD_DIR:-$top/build-asan}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_SANITIZE=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"

logs=$build/sanitizer-logs
rm -rf "$logs"
mkdir -p "$logs"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:\
check_initialization_order=1:strict_init_order=1:log_path=$logs/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$logs/ubsan"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
cd "$build"
status=0
ctest --output-on-failure -j2 --timeout 900 || status=$?
if [ -n "$(ls -A "$logs")" ]; then
    echo "Sanitizer reports:" >&2
    for report in "$logs"/*; do
        echo "== $report" >&2
        cat "$report" >&2
    done
    status=1
fi
exit "$status"
