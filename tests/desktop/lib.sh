# Helpers for the desktop tests (source after setting WORK to a fresh directory): they run the real programs under the test run's Wine prefix and
# display, and read them with qd_driver. Source it; $DRIVER must name qd_driver.exe.

# QDCLIENT's messages.
SUCCESS="The operation is finished successfully !"
NOT_FOUND="QDServer not found in registry!"

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
ms_now() { date +%s%3N; }

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

# A string value of a registry key ($2: its name, /ve the default) in this build's view (or in the
# view given as $3: /reg:64, /reg:32); "absent" when there is no such key.
reg_value() {
    local out name=(/v "$2") label="$2"
    [ "$2" = /ve ] && name=(/ve) label='(Default)'
    out="$(wine_run reg query "$1" "${name[@]}" "${3:-$QD_REG_VIEW}" 2>/dev/null)" || { echo absent; return 0; }
    echo "$out" | tr -d '\r' | sed -n "s/^ *$label *REG_SZ *//p"
}
reg_default() { reg_value "$1" /ve "${2:-}"; }

# Runs a Windows program to its end under qd_driver's watch; prints "exit CODE windows N", N being
# the visible windows (dialogs, message boxes) it showed meanwhile.
run_watched() {
    local program
    program="$(winepath -w "$1" 2>/dev/null)"
    shift
    drive run 20000 "$program" "$@" | tr -d '\r'
}

# Runs QDSERVER $2 with the switches that follow, as an installer does: it must end with exit code
# $1 without showing any window.
switch_run() {
    local want="$1" server="$2" report
    shift 2
    report="$(run_watched "$server" "$@")"
    [ "$(echo "$report" | tail -1)" = "exit $want windows 0" ] || fail "QDSERVER $* ($server): $report"
    pass "QDSERVER $* ends with $want and shows no window"
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

# A process that has been told to end may take a while on a busy machine (a server that ends in
# order waits for its objects): this waits for the observed state, 15 s at most.
assert_no_process() {
    local left deadline=$((SECONDS + 15))
    while left="$(live_processes "$1")" && [ -n "$left" ] && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
    [ -z "$left" ] || fail "$1 is still running: $left ($(tr '\0' ' ' <"/proc/${left%%$'\n'*}/cmdline" 2>/dev/null))"
}

# Clicks QDClient's button with the mouse, through the X server, as a person would.
mouse_click_make_call() {
    local xwin offset
    xwin="$(xdotool search --name '^QDClient$' | head -1)"
    [ -n "$xwin" ] || fail "no X window for QDClient"
    offset="$(drive offset QDClient 1000 | tr -d '\r')"
    # shellcheck disable=SC2086
    xdotool mousemove --window "$xwin" $offset click 1
}

close_server_if_running() {
    if drive wait QDServer 100 >/dev/null; then
        drive sysmenu-close QDServer
        drive gone QDServer 10000 || fail "QDSERVER did not close"
        sleep 3  # Wine's COM forgets an ended server's class after a moment
    fi
}

# Registers a QDSERVER the way a user does: by starting it once and closing it.
register_by_one_start() {
    start_program server "$1"
    drive wait QDServer 15000 >/dev/null || fail "QDSERVER ($1) did not show its dialog"
    drive sysmenu-close QDServer
    [ "$(wait_exit server 10)" = 0 ] || fail "QDSERVER ($1) did not end"
    sleep 3  # Wine's COM forgets an ended server's class after a moment
}

screenshot() {
    mkdir -p "$SHOTS"
    import -window root "$SHOTS/$1.png" && echo "screenshot: $SHOTS/$1.png"
}
