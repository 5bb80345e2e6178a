#!/usr/bin/env bash
# Runs one libFuzzer target of fuzz/ for a given time: fuzz.sh TARGET SECONDS [libFuzzer options]
# (TARGET "all" runs each in turn, "list" lists them). Builds with clang in build-fuzz/ (or
# $KIVO_FUZZ_BUILD_DIR). The seeds in fuzz/corpus/TARGET are only read; what the fuzzer adds
# goes to build-fuzz/corpus/TARGET, a crash, leak or time-out input to build-fuzz/findings/TARGET.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
targets=(fuzz_bp_blocks fuzz_quirn_blocks fuzz_module_table fuzz_kernel_report fuzz_fts_message
         fuzz_tapi_event fuzz_settings)
usage() {
    echo "usage: $0 TARGET|all|list SECONDS [libFuzzer options]" >&2
    echo "targets: ${targets[*]}" >&2
    exit 2
}
[ $# -ge 1 ] || usage
if [ "$1" = list ]; then
    printf '%s\n' "${targets[@]}"
    exit 0
fi
[ $# -ge 2 ] || usage
target=$1
seconds=$2
shift 2
if [ "$target" = all ]; then
    selected=("${targets[@]}")
else
    [[ " ${targets[*]} " == *" $target "* ]] || usage
    selected=("$target")
fi

"$top/scripts/deps.sh" fuzz
build=${KIVO_FUZZ_BUILD_DIR:-$top/build-fuzz}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DKIVO_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${selected[@]}"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
status=0
for name in "${selected[@]}"; do
    corpus=$build/corpus/$name
    findings=$build/findings/$name
    mkdir -p "$corpus" "$findings"
    echo "== $name for $seconds s (corpus $corpus, findings $findings)"
    # KIVO's traces are dropped (-close_fd_mask=2); libFuzzer's and the sanitizers' reports
    # still show.
    "$build/bin/$name" -max_total_time="$seconds" -timeout=10 -close_fd_mask=2 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$@" \
        "$corpus" "$top/fuzz/corpus/$name" || status=$?
done
exit "$status"
