#!/usr/bin/env bash
# The checked run checks itself: a program that frees a string twice, started as script tests start
# theirs (after sourcing scripts/env.sh, through the test command's `wine`), must leave its warning
# in a heap log (its own: this warning must not fail the suite). Skipped (77) in an unchecked run.
# Usage: checked_run_canary.sh PROGRAM
set -u
[ -n "${QD_HEAP_LOG:-}" ] || { echo "skipped: not a checked run"; exit 77; }
source "$(dirname "$0")/../../scripts/env.sh"
QD_HEAP_LOG="$(mktemp)"
trap 'rm -f "$QD_HEAP_LOG"' EXIT
wine "$1" >/dev/null 2>&1
for _ in $(seq 100); do  # the log's filter may finish after the program
    grep -q 'warn:heap' "$QD_HEAP_LOG" && { echo "ok: a string freed twice is in the heap log"; exit 0; }
    sleep 0.1
done
echo "FAIL: a string freed twice left no heap warning (WINEDEBUG=$WINEDEBUG OANOCACHE=${OANOCACHE:-})" >&2
exit 1
