#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine on a virtual display.
# Extra arguments go to ctest (for example -R e2e).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
build=${ORVANTA_BUILD_DIR:-$root/build}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2

xvfb-run -a -s "-screen 0 1024x768x24" \
    bash scripts/wine-session.sh "$build/wineprefix" \
    ctest --test-dir "$build" -j2 --output-on-failure --timeout 300 "$@"
