#!/usr/bin/env bash
# Script clients create, call and release QDSAMPLE objects in a loop while the server ends with its
# last object and COM starts it again: no creation may be lost, each is answered by the ending
# server or a new one. Every client's outcome is printed; one that ends without its result fails.
# Usage: hammer_test.sh QDSAMPLE.EXE [SECONDS [CLIENTS]]   (QD_ARCH: the architecture of the build)
set -u
SAMPLE="$1"
SECONDS_RUN="${2:-20}"
CLIENTS="${3:-2}"
WORK="$(mktemp -d)"
DRIVER=unused
source "$(dirname "$0")/../desktop/lib.sh"
source "$(dirname "$0")/../support/script_clients.sh"

wine "$SAMPLE" /RegServer </dev/null >/dev/null 2>&1 || fail "QDSAMPLE /RegServer"
# Each client runs its own copy of the script (Wine's script host opens it without sharing).
QD_CLIENT_TIMEOUT=$((SECONDS_RUN + 60))
tags=()
for n in $(seq "$CLIENTS"); do
    start_script_client "$n" "$(dirname "$0")/hammer.js" "$SECONDS_RUN"
    tags+=("$n")
done
wait_script_clients
judge_script_clients '^created ' "${tags[@]}" ||
    fail "$SCRIPT_CLIENTS_FAILED client(s) ended without their result"
[ "$SCRIPT_CLIENTS_OK" -gt 0 ] || fail "no client could run its script"
total_created=0 total_failed=0
for n in "${tags[@]}"; do
    line="$(script_client_output "$n" | tail -n 1)"
    grep -q '^created ' <<<"$line" || continue
    set -- $line
    total_created=$((total_created + $2))
    total_failed=$((total_failed + $4 + $6))
done
echo "hammer: $total_created objects, $total_failed failures in ${SECONDS_RUN} s"
[ "$total_created" -gt 0 ] || fail "no object was created"
[ "$total_failed" = 0 ] || fail "$total_failed creations or calls failed"
unread=""
[ "$SCRIPT_CLIENTS_UNREAD" = 0 ] ||
    unread=" ($SCRIPT_CLIENTS_UNREAD more silent: Wine's script host could not read the script)"
pass "$SCRIPT_CLIENTS_OK client(s) created $total_created objects in ${SECONDS_RUN} s without a failure$unread"
