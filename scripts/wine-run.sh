#!/usr/bin/env bash
# Runs a Windows program under Wine with the caller's prefix and display (CTest's emulator).
# The output goes through a file: a server that COM starts from the program inherits its output,
# and would hold a pipe to CTest open for as long as it runs.
out="$(mktemp)"
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
