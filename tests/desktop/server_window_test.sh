#!/usr/bin/env bash
# QDSERVER started by hand: its real window against the template, the About box from the system
# menu, a screenshot, and Esc and the close box ending the process with exit code 0.
set -u
SERVER="$1" DRIVER="$2" SHOTS="$3"
WORK="$(mktemp -d)"
source "$(dirname "$0")/lib.sh"

start_program server "$SERVER"
drive wait QDServer 15000 >/dev/null || fail "the QDServer dialog did not show"
drive check-server || fail "the dialog differs from its template"
drive check-about QDServer QDServer 0x0010 || fail "system command 0x0010 and the About box"
drive check-about QDServer QDServer 0x001F || fail "system command 0x001F and the About box"
drive key QDServer 0x0D  # Enter presses "Abort Call", which has the focus; the dialog stays
sleep 0.5
drive wait QDServer 1000 >/dev/null || fail "Enter closed the dialog"
screenshot qdserver
drive key QDServer 0x1B  # Esc
[ "$(wait_exit server 10)" = 0 ] || fail "Esc did not end QDSERVER with exit code 0"
pass "Esc ends QDSERVER with exit code 0"

start_program server "$SERVER"
drive wait QDServer 15000 >/dev/null || fail "the dialog did not show again"
drive sysmenu-close QDServer
[ "$(wait_exit server 10)" = 0 ] || fail "the close box did not end QDSERVER with exit code 0"
pass "the close box ends QDSERVER with exit code 0"
sleep 0.5
assert_no_process QDSERVER.EXE
pass "no QDSERVER process is left"
