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

HOST="$WINEPREFIX/drive_c/windows/system32/cscript.exe"
[ "${QD_ARCH:-x64}" = x86 ] && HOST="$WINEPREFIX/drive_c/windows/syswow64/cscript.exe"
close_server_if_running
cp "$(dirname "$0")/on_progress.js" "$WORK/"
# The output goes to a file: the server that COM starts inherits it and outlives the script.
(cd "$WORK" && timeout 90 wine "$HOST" //nologo on_progress.js </dev/null >"$WORK/out" 2>&1)
out="$(tr -d '\r' <"$WORK/out")"
[ "$out" = "steps: 1,2,3,4,5,6,7,8,9,10" ] || fail "the script heard: $out"
pass "JScript's OnProgress callback heard the ten steps in order during Test, and nothing once null"
close_server_if_running
