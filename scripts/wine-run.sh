#!/usr/bin/env bash
# Runs one Windows program under Wine and passes on its output and exit code. The output
# goes through a file: Wine's background processes (services, the desktop) inherit the
# program's standard output, and would keep a pipe to the caller open after the program
# has ended.
out=$(mktemp)
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
