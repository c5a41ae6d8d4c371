#!/usr/bin/env bash
# The main job: builds both programs and runs the whole road under Wine, on your display or, without
# one, on a virtual display. QDSERVER starts (and registers itself), QDCLIENT sits beside it, its
# button is clicked, the server's bar advances, the client reports success, and OK releases the
# object. Screenshots of each stage land in out/. On your own display both programs stay open
# afterwards; close them to finish.
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly

qd_setup_x64
OUT="$QD_ROOT/out"
mkdir -p "$OUT"
BIN="$QD_ROOT/build/x64"

prefix="${QD_PREFIX:-$HOME/.cache/qdemo/prefix}"
if [ ! -f "$prefix/system.reg" ]; then
    qd_log "creating the Wine prefix $prefix (once)"
    qd_make_prefix "$prefix"
fi
export WINEPREFIX="$prefix"
qd_start_display
trap qd_cleanup EXIT
wineserver -k >/dev/null 2>&1 || true  # start from a clean wineserver: no stale class registrations
qd_keep_prefix_warm

drive() { wine "$BIN/tests/driver/qd_driver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
shot() { import -window root "$OUT/$1.png" && qd_log "screenshot: out/$1.png ($2)"; }

wine "$BIN/server/QDSERVER.EXE" </dev/null >/dev/null 2>&1 &
server_pid=$!
drive wait QDServer 20000 >/dev/null
wine "$BIN/client/QDCLIENT.EXE" </dev/null >/dev/null 2>&1 &
client_pid=$!
drive wait QDClient 20000 >/dev/null
drive move QDClient 380 40
sleep 1
shot 1-side-by-side "QDSERVER and QDCLIENT"

qd_log "clicking \"Make call to QDServer\""
xwin="$(xdotool search --name '^QDClient$' | head -1)"
# shellcheck disable=SC2046
xdotool mousemove --window "$xwin" $(drive offset QDClient 1000) click 1
sleep 3
shot 2-bar-moving "bars: $(drive bars)"
drive msgbox 15000 | sed 's/^/[qd]   /' >&2
shot 3-success "the call returned; the bar stays full while the message shows"
drive msgbox 2000 ok >/dev/null
sleep 1
shot 4-released "OK released the object: bars $(drive bars)"

if [ -n "${QD_XVFB_PID:-}" ]; then
    drive sysmenu-close QDClient
    drive sysmenu-close QDServer
    wait "$server_pid" "$client_pid"
    qd_log "done; screenshots in out/"
else
    qd_log "both programs are open on $DISPLAY; close them to finish"
    wait "$server_pid" "$client_pid"
fi
