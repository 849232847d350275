#!/usr/bin/env bash
# Runs one Windows program under Wine and passes on its output and exit code. The output
# goes through a file: Wine's background processes (services, the desktop) inherit the
# program's standard output, and would keep a pipe to the caller open after the program
# has ended. The file is followed while the program runs, so that a program stopped for
# taking too long still shows how far it got.
out=$(mktemp)
wine "$@" >"$out" 2>&1 &
program=$!
tail -s 0.2 -n +1 -f --pid=$program "$out" &
follower=$!
wait $program
status=$?
wait $follower
rm -f "$out"
exit $status
