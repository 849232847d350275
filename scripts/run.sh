#!/usr/bin/env bash
# The main job: builds OrvantaSetup.exe, runs it under Wine and shows what it did.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target OrvantaSetup

prefix="$root/build/main-prefix"
temp="$root/build/main-temp"
rm -rf "$temp"
mkdir -p "$temp"
exe="$root/build/bin/OrvantaSetup.exe"

run() {
    bash scripts/wine-session.sh "$prefix" bash -c '
        export TMP="$(winepath -w "$1")" TEMP="$(winepath -w "$1")"
        wine "$2" "${@:3}"
    ' run "$temp" "$exe" "$@"
}

echo "running $exe under Wine"
set +e
if [ -n "${DISPLAY:-}" ]; then
    run "$@"
else
    export -f run
    export prefix temp exe
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c 'run "$@"' run "$@"
fi
code=$?
set -e

echo
echo "exit code: $code"
for workspace in "$temp"/OrvantaSetup/*/; do
    [ -d "$workspace" ] || continue
    echo "workspace: $workspace"
    ls -la "$workspace"
    echo "--- Setup.log ---"
    cat "$workspace/Setup.log"
    echo "--- end of Setup.log ---"
done
