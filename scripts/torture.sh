#!/usr/bin/env bash
# The torture run: builds the 64-bit programs, registers QDSERVER in a Wine prefix of this run's
# own on a virtual display, and runs qd_torture for the given time: rounds of QDSERVER started by
# hand, client processes making random choices, the server ended at random moments.
#   scripts/torture.sh [--seconds=N] [--seed=S] [--clients=K] [more qd_torture options]
# Progress on stderr, the summary table on stdout. The run is checked for heap faults
# (WINEDEBUG=warn+heap, OANOCACHE=1): a `warn:heap` line from any program, the servers included,
# fails it.
# Wine's errors are shown when asked for, e.g. WINEDEBUG=-all,err+ole,warn+heap (COM's).
# QD_TORTURE_BACKTRACE=1: a client that does not end is shown by winedbg ("bt all") before it is killed.
# --in-prefix runs in the Wine prefix and display already set up (the test suite's; QD_TORTURE_EXE
# names the program) without building: inside the suite's checked run its heap log catches the
# warnings as well.
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly

in_prefix=0
args=()
for arg in "$@"; do
    if [ "$arg" = --in-prefix ]; then in_prefix=1; else args+=("$arg"); fi
done

WORK="$(mktemp -d /tmp/qd-torture-work.XXXXXX)"
if [ "$in_prefix" = 1 ]; then
    TORTURE="${QD_TORTURE_EXE:?QD_TORTURE_EXE names qd_torture.exe}"
    SERVER="${QD_SERVER_EXE:?QD_SERVER_EXE names QDSERVER.EXE}"
    trap 'rm -rf "$WORK"' EXIT
else
    qd_setup_x64
    BIN="$QD_ROOT/build/x64"
    SERVER="$BIN/server/QDSERVER.EXE" TORTURE="$BIN/bench/qd_torture.exe"
    QD_TORTURE_PREFIX="$(mktemp -d /tmp/qd-torture-prefix.XXXXXX)"
    trap 'qd_cleanup; rm -rf "$QD_TORTURE_PREFIX" "$WORK"' EXIT
    start=$(date +%s)
    qd_make_prefix "$QD_TORTURE_PREFIX"
    QD_VIRTUAL_DISPLAY=1 qd_start_display
    qd_keep_prefix_warm
    qd_log "prefix and display ready in $(( $(date +%s) - start )) s"
fi
# The checked run's settings, unless the caller (the suite) chose its own.
case "${WINEDEBUG:-}" in *warn+heap*) ;; *) export WINEDEBUG=-all,warn+heap ;; esac
export OANOCACHE=1

# Every wine command reads nothing and writes to a file: a server started from a client inherits
# its descriptors and would hold a pipe open for as long as it runs.
wine "$SERVER" /RegServer </dev/null >>"$WORK/wine.log" 2>&1 || { qd_log "QDSERVER could not register"; exit 1; }

# Every program the run starts writes its Wine messages to this one error output (a process that a
# Windows program starts keeps its parent's): the progress lines and the heap warnings of the
# servers and clients, in order. Copied to our stderr as they come, with Wine's other chatter left out.
status=0
wine "$TORTURE" "${args[@]}" </dev/null >"$WORK/table.md" 2>"$WORK/progress.log" &
run=$!
tail -n +1 -f --pid=$run "$WORK/progress.log" 2>/dev/null |
    grep --line-buffered -E '^\[torture|^    |^\[client|warn:heap|^([0-9a-f]{4}:)?err:|^Backtrace|^=>|^ +[0-9]+ 0x' >&2 || true
wait $run || status=$?
cat "$WORK/table.md"
if grep -q 'warn:heap' "$WORK/progress.log"; then
    # A round's line comes at its end: a warning belongs to the next round line after it.
    qd_log "FAILED: heap warnings during the run, by round:"
    awk '/warn:heap/ { w = w "\n    " $0; next }
         /^\[torture .*round [0-9]+:/ && w != "" { sub(/^\[torture[^]]*\] +/, ""); print "  in " $0 w; w = "" }
         END { if (w != "") print "  after the last round:" w }' "$WORK/progress.log" | head -40 >&2
    status=1
fi
exit $status
