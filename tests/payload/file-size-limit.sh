#!/usr/bin/env bash
# Runs a command with a limit (KiB) on the size of every file it writes: a write past the
# limit then fails with an error instead of stopping the process. Usage:
# file-size-limit.sh KIB COMMAND...
set -euo pipefail
limit=$1
shift
trap '' XFSZ
ulimit -f "$limit"
export ORVANTA_FILE_SIZE_LIMIT=$((limit * 1024))
exec "$@"
