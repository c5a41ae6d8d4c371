# Helpers for the desktop tests (source after setting WORK to a fresh directory): they run the real programs under the test run's Wine prefix and
# display, and read them with qd_driver. Source it; $DRIVER must name qd_driver.exe.

fail() { echo "FAIL: $*" >&2; exit 1; }

# Wine 8's COM keeps the class registration of a server that was killed, and every later creation
# fails (0x800706BA) until the wineserver restarts. Tests that kill a server, and tests that fail
# (and may leave programs behind), restart it so the next test starts clean.
restart_wineserver() {
    wineserver -k >/dev/null 2>&1
    sleep 1
    wineserver -p >/dev/null 2>&1
    (wine explorer "/desktop=Default,${QD_DESKTOP_SIZE:-1024x768}" </dev/null >/dev/null 2>&1 &)
    sleep 1
}

on_exit() {
    local status=$?
    if [ $status -ne 0 ]; then
        pkill -9 -x QDCLIENT.EXE 2>/dev/null
        pkill -9 -x QDSERVER.EXE 2>/dev/null
        restart_wineserver
    fi
    rm -rf "$WORK"
    exit $status
}
trap on_exit EXIT
pass() { echo "ok: $*"; }

# Runs a Windows program and prints its output. The output goes through a file: a Wine process that
# this one starts (the Wine desktop, a COM server) inherits it and may outlive the test, and must
# not hold CTest's pipe open.
wine_run() {
    local out rc
    out="$(mktemp)"
    wine "$@" </dev/null >"$out" 2>&1
    rc=$?
    cat "$out"
    rm -f "$out"
    return $rc
}

drive() { wine_run "$DRIVER" "$@"; }

# Starts a Windows program in the background; its exit code lands in $1.exit when it ends.
start_program() {
    local tag="$1"; shift
    rm -f "$WORK/$tag.exit"
    ( wine "$@" </dev/null >"$WORK/$tag.log" 2>&1; echo $? >"$WORK/$tag.exit" ) &
}

# Waits up to $2 seconds for the program started as $1 to end; prints its exit code.
wait_exit() {
    local tag="$1" limit="${2:-10}" i
    for ((i = 0; i < limit * 10; i++)); do
        [ -s "$WORK/$tag.exit" ] && { cat "$WORK/$tag.exit"; return 0; }
        sleep 0.1
    done
    echo timeout
    return 1
}

# No Windows process of this name is left (Wine names a process after its executable).
live_processes() {
    local pid
    for pid in $(pgrep -x "${1:0:15}"); do
        [[ "$(ps -o stat= -p "$pid" 2>/dev/null)" == Z* ]] || echo "$pid"
    done
}

assert_no_process() {
    local left
    left="$(live_processes "$1")"
    [ -z "$left" ] || fail "$1 is still running: $left"
}

screenshot() {
    mkdir -p "$SHOTS"
    import -window root "$SHOTS/$1.png" && echo "screenshot: $SHOTS/$1.png"
}
