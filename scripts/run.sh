#!/usr/bin/env bash
# The main job: builds QDSERVER and shows it under Wine, on your display or, without one, on a
# virtual display, and saves a screenshot in out/.
set -euo pipefail
source "$(dirname "$0")/env.sh"

qd_ensure_packages
qd_build x64 >/dev/null
OUT="$QD_ROOT/out"
mkdir -p "$OUT"
BIN="$QD_ROOT/build/x64"

prefix="${QD_PREFIX:-$HOME/.cache/qdemo/prefix}"
if [ ! -f "$prefix/system.reg" ]; then
    qd_log "creating the Wine prefix $prefix"
    qd_make_prefix "$prefix"
fi
export WINEPREFIX="$prefix"
qd_start_display
trap qd_cleanup EXIT
qd_keep_prefix_warm

wine "$BIN/server/QDSERVER.EXE" >/dev/null 2>&1 &
wine "$BIN/tests/driver/qd_driver.exe" wait QDServer 20000 >/dev/null
sleep 1
import -window root "$OUT/qdserver.png"
qd_log "screenshot: $OUT/qdserver.png"

if [ -n "${QD_XVFB_PID:-}" ]; then
    wine "$BIN/tests/driver/qd_driver.exe" sysmenu-close QDServer
else
    qd_log "QDSERVER is open on $DISPLAY; close its window to finish"
fi
wait
