#!/usr/bin/env bash
# The benchmark command: builds the 64-bit programs, registers QDSERVER and the bare server in a
# Wine prefix of this run's own on a virtual display, and runs qd_bench. Progress on stderr, the
# tables on stdout, the figures in out/benchmarks.json. Extra arguments go to qd_bench (--quick).
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly

qd_setup_x64
BIN="$QD_ROOT/build/x64"
SERVER="$BIN/server/QDSERVER.EXE" BARE="$BIN/bench/bare_server.exe"
BENCH="$BIN/bench/qd_bench.exe"

QD_BENCH_PREFIX="$(mktemp -d /tmp/qd-bench-prefix.XXXXXX)"
WORK="$(mktemp -d /tmp/qd-bench-work.XXXXXX)"
trap 'qd_cleanup; rm -rf "$QD_BENCH_PREFIX" "$WORK"' EXIT
start=$(date +%s)
qd_make_prefix "$QD_BENCH_PREFIX"
QD_VIRTUAL_DISPLAY=1 qd_start_display
qd_keep_prefix_warm
qd_log "prefix and display ready in $(( $(date +%s) - start )) s"

# Every wine command reads nothing and writes to a file: a server that COM starts inherits the
# client's descriptors and would hold a pipe open for as long as it runs.
wine_quiet() { wine "$@" </dev/null >>"$WORK/wine.log" 2>&1; }

# Both servers register themselves: QDSERVER with its switch, the bare server whenever it starts
# by hand. Neither offers its class to COM meanwhile, so the benchmark starts with a cold start.
wine_quiet "$SERVER" /RegServer || { qd_log "QDSERVER could not register"; exit 1; }
wine_quiet "$BARE" || { qd_log "the bare server could not register"; exit 1; }
qd_log "QDSERVER and the bare server registered"

mkdir -p "$QD_ROOT/out"
json_win="Z:${WORK//\//\\}\\benchmarks.json"   # Wine's drive Z: is the Unix root
status=0
wine "$BENCH" "$json_win" "$@" </dev/null >"$WORK/table.md" || status=$?
cat "$WORK/table.md"
[ -s "$WORK/benchmarks.json" ] && cp "$WORK/benchmarks.json" "$QD_ROOT/out/benchmarks.json" &&
    qd_log "figures in out/benchmarks.json"
exit $status
