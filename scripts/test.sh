#!/usr/bin/env bash
# Builds KIVO and runs the whole test suite: headless (offscreen), each bus test on a private
# session bus of its own, every file under a temporary KIVO_ROOT.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh" test
"$top/scripts/build.sh"
build=${KIVO_BUILD_DIR:-$top/build}
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
cd "$build"
ctest --output-on-failure -j2 --timeout 600
