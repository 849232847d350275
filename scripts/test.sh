#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine on a virtual display.
# Extra arguments go to ctest (for example -R e2e).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

xvfb-run -a -s "-screen 0 1024x768x24" \
    bash scripts/wine-session.sh "$root/build/wineprefix" \
    ctest --preset release "$@"
