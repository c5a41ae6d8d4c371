# Helpers for the desktop tests: they run the real programs under the test run's Wine prefix and
# display, and read them with qd_driver. Source it; $DRIVER must name qd_driver.exe.

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

drive() { wine "$DRIVER" "$@"; }

# Starts a Windows program in the background; its exit code lands in $1.exit when it ends.
start_program() {
    local tag="$1"; shift
    rm -f "$WORK/$tag.exit"
    ( wine "$@" >"$WORK/$tag.log" 2>&1; echo $? >"$WORK/$tag.exit" ) &
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
