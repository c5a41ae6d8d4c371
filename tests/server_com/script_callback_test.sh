#!/usr/bin/env bash
# A script client under Wine's script host (its JScript cannot receive connection-point events):
# the function it assigns to OnProgress is called with each step while it waits in "Test", in
# order, and null clears it. The script host is of the build's architecture, so COM starts this
# build's QDSERVER.
# Usage: script_callback_test.sh DRIVER   (QD_ARCH: the architecture of the build)
set -u
DRIVER="$1"
WORK="$(mktemp -d)"
source "$(dirname "$0")/../desktop/lib.sh"
source "$(dirname "$0")/../support/script_clients.sh"

close_server_if_running
QD_CLIENT_TIMEOUT=90
run_one_script_client on_progress "$(dirname "$0")/on_progress.js" '^steps: '
out="$(script_client_output on_progress)"
[ "$out" = "steps: 1,2,3,4,5,6,7,8,9,10" ] || fail "the script heard: $out"
pass "JScript's OnProgress callback heard the ten steps in order during Test, and nothing once null"
close_server_if_running
