#!/usr/bin/env bash
# The full-size benchmark, from a fresh machine to bench/results/: installs what is missing,
# builds the bootstrapper with payloads of the shipped sizes (and smaller sets for the
# scaling), times it under Wine beside a plain copy and native cp, and writes results.md,
# results.json and throughput.png. Big generated files stay in bench/work/ (not committed).
#
# Usage: bash bench/run.sh          (BENCH_ROUNDS=<n> for another number of rounds than 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=$root/bench/work
build=$work/build
payloads=$work/payloads
results=$root/bench/results
rounds=${BENCH_ROUNDS:-5}
started=$(date +%s)
phase() { echo "== $(($(date +%s) - started)) s: $*"; }

phase "tools"
bash scripts/install-deps.sh
need=()
command -v gnuplot >/dev/null || need+=(gnuplot-nox)
/usr/bin/time --version 2>/dev/null | grep -q GNU || need+=(time)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
    echo "installing: ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

phase "build the benchmark programs"
mkdir -p "$work/raw"
cmake --preset release -B "$build" -DORVANTA_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target bench_programs

phase "payload sets"
bash bench/make-payloads.sh "$payloads" "$build/bin/SetupUIStandIn.exe"

phase "bootstrapper variants"
cmake --build "$build" -j2 --target bench_setups

phase "measurements ($rounds rounds)"
raw=$work/raw/raw.tsv
session=(bash scripts/wine-session.sh "$work/prefix"
         bash bench/measure.sh "$build/bin" "$payloads" "$raw" "$rounds")
if [ -n "${DISPLAY:-}" ]; then
    "${session[@]}"
else
    xvfb-run -a -s "-screen 0 1024x768x24" "${session[@]}"
fi

phase "results"
python3 bench/analyse.py "$raw" "$payloads" "$build/bin" "$results"
cp "$raw" "$results/raw.tsv"
phase "done; results in bench/results/"
