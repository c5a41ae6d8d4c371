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
    # wineserver -k ends every process of this prefix, and only those: other prefixes on the
    # machine (another test run) are left alone.
    [ $status -ne 0 ] && restart_wineserver
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

# The registry has a 64-bit and a 32-bit view, and a program writes the view of its architecture;
# reg.exe must be told which one to read (QD_ARCH: the architecture under test).
QD_REG_VIEW=/reg:64
[ "${QD_ARCH:-x64}" = x86 ] && QD_REG_VIEW=/reg:32
wine_reg() { wine_run reg "$@" "$QD_REG_VIEW"; }

# Removes the class's registration from both views, as if no QDSERVER had ever started.
unregister_everywhere() {
    local clsid view
    clsid="$(wine_reg query 'HKCR\QDSERVER.DEMO\CLSID' /ve 2>/dev/null | tr -d '\r' | grep -o '{[0-9A-F-]*}')"
    for view in /reg:64 /reg:32; do
        wine_run reg delete 'HKCR\QDSERVER.DEMO' /f $view >/dev/null 2>&1
        [ -n "$clsid" ] && wine_run reg delete "HKCR\\CLSID\\$clsid" /f $view >/dev/null 2>&1
    done
    return 0
}

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

# The live processes of this name in this run's Wine prefix (Wine names a process after its
# executable; a Windows process carries its prefix in its environment).
live_processes() {
    local pid
    for pid in $(pgrep -x "${1:0:15}"); do
        [[ "$(ps -o stat= -p "$pid" 2>/dev/null)" == Z* ]] && continue
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
}

# Reads the server's bars into the array b until the test $2 (over b) holds, for up to $1 seconds;
# prints the last reading. Fails when the time runs out.
wait_bars() {
    local deadline=$((SECONDS + $1))
    while :; do
        read -r -a b <<<"$(drive bars | tr -d '\r')"
        eval "$2" && break
        [ "$SECONDS" -lt "$deadline" ] || { echo "${b[*]}"; return 1; }
        sleep 0.2
    done
    echo "${b[*]}"
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
