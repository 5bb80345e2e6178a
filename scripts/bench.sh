#!/usr/bin/env bash
# Configures the build in build/ (or $KIVO_BUILD_DIR), builds the bench programs with KIVO and
# the simulators, and runs the benchmarks: kivo-bench prints the table. Installs nothing.
# Options are handed to kivo-bench (--runs N, --only startup,roundtrip,panic, ...).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KIVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" >/dev/null
cmake --build "$build" -j2 --target kivo-bench kivo-bench-firstframe kivo-bench-baseline \
    kivo-bench-roundtrip kivo-bench-panic kivo-sim-telephony kivo-sim-fts >/dev/null
exec "$build/bin/kivo-bench" "$@"
