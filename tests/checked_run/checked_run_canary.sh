#!/usr/bin/env bash
# The checked run checks itself: a program that frees a string twice, started the way the script
# tests start theirs (after sourcing scripts/env.sh, through the test command's `wine`), must leave
# its warning in the heap log. Skipped (77) in an unchecked run.
# Usage: checked_run_canary.sh PROGRAM
set -u
[ -n "${QD_HEAP_LOG:-}" ] || { echo "skipped: not a checked run"; exit 77; }
source "$(dirname "$0")/../../scripts/env.sh"
# A log of its own: this warning is expected, and must not fail the suite's.
QD_HEAP_LOG="$(mktemp)"
trap 'rm -f "$QD_HEAP_LOG"' EXIT
wine "$1" >/dev/null 2>&1
# The log is written by a filter that may finish after the program.
for _ in $(seq 100); do
    grep -q 'warn:heap' "$QD_HEAP_LOG" && { echo "ok: a string freed twice is in the heap log"; exit 0; }
    sleep 0.1
done
echo "FAIL: a string freed twice left no heap warning (WINEDEBUG=$WINEDEBUG OANOCACHE=${OANOCACHE:-})" >&2
exit 1
