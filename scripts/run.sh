#!/usr/bin/env bash
# The main job: builds OrvantaSetup.exe with the sample product, runs it under Wine (a
# plain run installs the product) and shows what it did. Arguments are passed to the
# bootstrapper.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${ORVANTA_BUILD_DIR:-$root/build}
prefix="$build/main-prefix"
marker="$build/main-temp-dir"
exe="$build/bin/OrvantaSetup.exe"

if [ "${1:-}" = "--in-session" ]; then
    # Inside the display session and the prefix's server: run the bootstrapper, then note
    # the user's temporary directory (Wine takes it from the prefix's registry).
    shift
    set +e
    wine "$exe" "$@"
    code=$?
    winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')" >"$marker"
    exit $code
fi

bash scripts/install-deps.sh
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target OrvantaSetup

rm -f "$marker"
echo "running $exe under Wine"
started=$(date +%s)
session=(bash scripts/wine-session.sh "$prefix" bash "$0" --in-session "$@")
set +e
if [ -n "${DISPLAY:-}" ]; then
    "${session[@]}"
else
    xvfb-run -a -s "-screen 0 1024x768x24" "${session[@]}"
fi
code=$?
set -e

echo
echo "exit code: $code"
temp=$(cat "$marker" 2>/dev/null || true)
workspace=$(ls -td "$temp"/OrvantaSetup/*/ 2>/dev/null | head -n 1 || true)
if [ -n "$workspace" ] && [ "$(stat -c %Y "$workspace")" -ge "$started" ]; then
    echo "workspace: $workspace"
    ls -la "$workspace"
    echo "--- Setup.log ---"
    cat "$workspace/Setup.log"
    echo "--- end of Setup.log ---"
else
    echo "no workspace was made by this run"
fi

product="$prefix/drive_c/Program Files (x86)/Orvanta Vellumo"
echo
if [ -d "$product" ]; then
    echo "the product is installed in C:\Program Files (x86)\Orvanta Vellumo ($product):"
    ls -la "$product"
else
    echo "the product is not installed"
fi
