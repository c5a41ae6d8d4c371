#!/usr/bin/env bash
# Script clients create, call and release QDSAMPLE objects in a loop while the server ends with its
# last object and COM starts it again: no creation may be lost, each is answered by the ending
# server or a new one.
# Usage: hammer_test.sh QDSAMPLE.EXE [SECONDS [CLIENTS]]   (QD_ARCH: the architecture of the build)
set -u
SAMPLE="$1"
SECONDS_RUN="${2:-20}"
CLIENTS="${3:-2}"
WORK="$(mktemp -d)"
DRIVER=unused
source "$(dirname "$0")/../desktop/lib.sh"

HOST="$WINEPREFIX/drive_c/windows/system32/cscript.exe"
[ "${QD_ARCH:-x64}" = x86 ] && HOST="$WINEPREFIX/drive_c/windows/syswow64/cscript.exe"
wine "$SAMPLE" /RegServer </dev/null >/dev/null 2>&1 || fail "QDSAMPLE /RegServer"
cp "$(dirname "$0")/hammer.js" "$WORK/"
# The output goes to files: a server that COM starts inherits it and may outlive the scripts.
for n in $(seq "$CLIENTS"); do
    (cd "$WORK" && timeout $((SECONDS_RUN + 60)) wine "$HOST" //nologo hammer.js "$SECONDS_RUN" \
        </dev/null >"$WORK/out$n" 2>&1) &
done
wait
total_created=0 total_failed=0
for n in $(seq "$CLIENTS"); do
    line="$(tr -d '\r' <"$WORK/out$n" | grep '^created ')" || fail "client $n printed no result: $(cat "$WORK/out$n")"
    echo "client $n: $line"
    set -- $line
    total_created=$((total_created + $2))
    total_failed=$((total_failed + $4 + $6))
done
echo "hammer: $total_created objects, $total_failed failures in ${SECONDS_RUN} s"
[ "$total_created" -gt 0 ] || fail "no object was created"
[ "$total_failed" = 0 ] || fail "$total_failed creations or calls failed"
pass "$CLIENTS client(s) created $total_created objects in ${SECONDS_RUN} s without a failure"
