#!/usr/bin/env bash
# The framework's server application where a server is built wrong: asked to register a class whose
# dispatch map disagrees with its type library it refuses with exit code 1, names the disagreement
# and writes nothing.
# Usage: server_app_test.sh MAP_MISMATCH_SERVER.EXE   (QD_ARCH: the build's)
set -u
MISMATCH="$1"
WORK="$(mktemp -d)"
DRIVER=unused
source "$(dirname "$0")/../desktop/lib.sh"

timeout 30 wine "$MISMATCH" /RegServer </dev/null >"$WORK/out" 2>&1
rc=$?
[ "$rc" = 1 ] || fail "/RegServer of a mismatched class ended with $rc"
grep -q "QDSAMPLE.MISMATCH: the dispatch map disagrees" "$WORK/out" || fail "the class is not named: $(cat "$WORK/out")"
grep -q "Add: method DISPID 7 is not in the type library" "$WORK/out" || fail "the disagreement is not named: $(cat "$WORK/out")"
[ "$(reg_default 'HKCR\QDSAMPLE.MISMATCH')" = absent ] || fail "the mismatched class was registered"
pass "/RegServer refuses a class whose map disagrees with its library, naming it"
