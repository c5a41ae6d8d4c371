#!/usr/bin/env bash
# Many script clients at once against one server, in rounds: each client creates an object, calls
# it once, prints the call's time or its error and then RELEASED (tests/support/script_client.*).
# Prints every client's outcome (its last lines, its exit code) and a summary; exits with 1 when a
# client ended without RELEASED or a call failed. Runs in a Wine prefix of its own on a virtual
# display, with the 64-bit build (QD_BUILD=0: as it is).
#
# Usage: scripts/script_clients.sh [-n CLIENTS] [-r ROUNDS] [-l vbs|js] [-s SERVER] [--shared]
#   -n  clients at once (8)            -r  rounds (5)          -l  the script's language (vbs)
#   -s  qdserver: QDSERVER started by hand, "Enabled" (default); disabled: the same, "Disabled";
#       sample: QDSAMPLE.COUNTER, "Add", started by COM; bare: the benchmark's bare server, "Test"
#       (returns at once), started by COM
#   --shared  every client runs the one script file, as a careless caller would: Wine's script host
#             opens it without sharing, and a client that loses that race ends silently
# Example, forty clients, eight at a time: scripts/script_clients.sh -n 8 -r 5
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly

CLIENTS=8 ROUNDS=5 LANG_EXT=vbs SERVER_KIND=qdserver
while [ $# -gt 0 ]; do
    case "$1" in
    -n) CLIENTS="$2"; shift 2 ;;
    -r) ROUNDS="$2"; shift 2 ;;
    -l) LANG_EXT="$2"; shift 2 ;;
    -s) SERVER_KIND="$2"; shift 2 ;;
    --shared) export QD_SHARED_SCRIPT=1; shift ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
    esac
done
case "$LANG_EXT" in vbs | js) ;; *) qd_log "-l: vbs or js"; exit 2 ;; esac
case "$SERVER_KIND" in
qdserver | disabled) PROGID=QDSERVER.DEMO METHOD=Test ;;
sample) PROGID=QDSAMPLE.COUNTER METHOD=Add ;;
bare) PROGID=QDBENCH.BARE METHOD=Test ;;
*) qd_log "-s: qdserver, disabled, sample or bare"; exit 2 ;;
esac

qd_ensure_packages
qd_choose_wine
if [ "${QD_BUILD:-1}" = 1 ]; then
    qd_build x64 QDSERVER QDSAMPLE bare_server qd_driver
fi
BIN="$QD_ROOT/build/x64"
export QD_ARCH=x64

PREFIX_DIR="$(mktemp -d /tmp/qd-script-clients-prefix.XXXXXX)"
WORK="$(mktemp -d /tmp/qd-script-clients.XXXXXX)"
trap 'qd_cleanup; rm -rf "$PREFIX_DIR" "$WORK"' EXIT
qd_make_prefix "$PREFIX_DIR"
QD_VIRTUAL_DISPLAY=1 qd_start_display
qd_keep_prefix_warm
source "$QD_ROOT/tests/support/script_clients.sh"

drive() { wine "$BIN/tests/driver/qd_driver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
wine_quiet() { wine "$@" </dev/null >>"$WORK/wine.log" 2>&1; }

case "$SERVER_KIND" in
qdserver | disabled)
    # By hand, as a user starts it: it registers itself and shows its dialog.
    wine "$BIN/server/QDSERVER.EXE" </dev/null >>"$WORK/wine.log" 2>&1 &
    drive wait QDServer 30000 >/dev/null || { qd_log "QDSERVER did not show its dialog"; exit 1; }
    if [ "$SERVER_KIND" = disabled ]; then
        drive click QDServer 1009 >/dev/null  # "Disabled"
    fi
    ;;
sample) wine_quiet "$BIN/samples/counter/QDSAMPLE.EXE" /RegServer ;;
bare) wine_quiet "$BIN/bench/bare_server.exe" ;;  # a start by hand only registers
esac
qd_log "$CLIENTS $LANG_EXT clients at once, $ROUNDS rounds, against $PROGID ($SERVER_KIND)" \
    "$([ "${QD_SHARED_SCRIPT:-0}" = 1 ] && echo ", one shared script file")"

ok=0 unread=0 failed=0 calls_failed=0
for round in $(seq "$ROUNDS"); do
    tags=()
    for n in $(seq "$CLIENTS"); do
        start_script_client "$round.$n" "$QD_ROOT/tests/support/script_client.$LANG_EXT" "$PROGID" "$METHOD"
        tags+=("$round.$n")
    done
    wait_script_clients
    judge_script_clients '^RELEASED$' "${tags[@]}" | sed "s/^script clients:/round $round:/" || true
    for tag in "${tags[@]}"; do
        result="$(script_client_output "$tag" | tail -n 2 | head -n 1)"
        case "$(script_client_output "$tag" | tail -n 1)" in
        RELEASED) ok=$((ok + 1))
                  [[ "$result" =~ ^$METHOD\ [0-9]+\ ms$ ]] || calls_failed=$((calls_failed + 1)) ;;
        "") if grep -q 'Could not get script text' "$WORK/clients/$tag/err"; then
                unread=$((unread + 1))
            else
                failed=$((failed + 1))
            fi ;;
        *) failed=$((failed + 1)) ;;
        esac
    done
    # A server that COM started ends with its last object, and Wine's COM refuses a creation for
    # about 2 s after that: the next round waits it out.
    [ "$SERVER_KIND" = sample ] || [ "$SERVER_KIND" = bare ] && [ "$round" -lt "$ROUNDS" ] && sleep 3
done

[ "$SERVER_KIND" = qdserver ] || [ "$SERVER_KIND" = disabled ] && drive sysmenu-close QDServer >/dev/null
total=$((CLIENTS * ROUNDS))
echo "all: $total clients; $ok printed RELEASED ($calls_failed of them after a failed call or creation);" \
    "$unread silent because Wine's script host could not read the shared script;" \
    "$failed ended otherwise without RELEASED"
[ "$failed" = 0 ] && [ "$calls_failed" = 0 ]
