#!/usr/bin/env bash
# The whole road with the real programs: QDCLIENT's button, COM starting QDSERVER, the call, the
# message box and the release. Clicks on the button go through the X server, as a person's would.
# Usage: client_road_test.sh CASE SERVER CLIENT DRIVER SHOTS
set -u
CASE="$1" SERVER="$2" CLIENT="$3" DRIVER="$4" SHOTS="$5"
WORK="$(mktemp -d)"
source "$(dirname "$0")/lib.sh"


case "$CASE" in
not-registered)
    close_server_if_running
    # As an uninstaller leaves it, with no other build's class left in the other registry view: that
    # one would keep the shared ProgID, and clients would get the other build's server.
    other_view=/reg:32
    [ "${QD_ARCH:-x64}" = x86 ] && other_view=/reg:64
    wine_run reg delete 'HKCR\CLSID\{BB2FF4E7-0C33-4764-B3B4-F911B8499C26}' /f $other_view >/dev/null
    switch_run 0 "$SERVER" /UnregServer
    start_program client "$CLIENT"
    drive wait QDClient 15000 >/dev/null || fail "QDClient did not show"
    start=$(ms_now)
    mouse_click_make_call
    box="$(drive msgbox 5000 | tr -d '\r')"
    took=$(( $(ms_now) - start ))
    echo "$box"
    echo "$box" | grep -qF "$NOT_FOUND" || fail "no not-found message"
    echo "$box" | grep -qF " Run the QDServer for the first time." || fail "second line of the message"
    # At once: sooner than a call could end (six seconds), whatever the load of the machine.
    [ "$took" -lt 6000 ] || fail "the not-found message took $took ms"
    pass "not registered: the message shows after $took ms"
    screenshot qdclient-not-found
    drive msgbox 2000 ok >/dev/null
    drive wait QDServer 500 >/dev/null && fail "a QDSERVER started although none is registered"
    drive key QDClient 0x1B
    [ "$(wait_exit client 10)" = 0 ] || fail "Esc did not end QDCLIENT"
    # Register again, as the message tells the user to do.
    register_by_one_start "$SERVER"
    ;;
cold-start)
    close_server_if_running
    start_program client "$CLIENT"
    drive wait QDClient 15000 >/dev/null || fail "QDClient did not show"
    drive check-client || fail "the client dialog differs from its template"
    drive check-about QDClient QDClient 0x0010 || fail "the client's About box"
    start=$(ms_now)
    mouse_click_make_call
    drive wait QDServer 15000 >/dev/null || fail "COM did not start QDSERVER"
    pass "the click started QDSERVER after $(( $(ms_now) - start )) ms"
    bars="$(wait_bars 15 '[ "${b[0]}" -gt 0 ]')" || fail "the bar does not move: $bars"
    [ "${bars%% *}" -lt 100 ] || fail "the bar is full at its first reading: $bars"
    screenshot road-bar-moving
    box="$(drive msgbox 15000 | tr -d '\r')"
    took=$(( $(ms_now) - start ))
    echo "$box" | grep -qF "$SUCCESS" || fail "no success message: $box"
    pass "cold: click to success in $took ms"
    [ "$(drive bars | tr -d '\r' | cut -d' ' -f1)" = 100 ] || fail "the bar is not full while the message shows"
    screenshot road-success
    drive msgbox 2000 ok >/dev/null
    bars="$(wait_bars 5 '[ "${b[0]}" = 0 ]')" || fail "OK did not drop the bar to 0: $bars"
    pass "OK releases the object: the bar drops to 0"
    # Warm: the server is running now. Enter presses the button.
    start=$(ms_now)
    drive key QDClient 0x0D
    box="$(drive msgbox 15000 | tr -d '\r')"
    echo "$box" | grep -qF "$SUCCESS" || fail "Enter: no success message"
    pass "warm: Enter to success in $(( $(ms_now) - start )) ms"
    drive msgbox 2000 ok >/dev/null
    drive sysmenu-close QDClient
    [ "$(wait_exit client 10)" = 0 ] || fail "the close box did not end QDCLIENT"
    pass "the close box ends QDCLIENT"
    drive wait QDServer 100 >/dev/null || fail "QDSERVER closed with its last client"
    ;;
three-clients)
    for i in 1 2 3; do start_program "client$i" "$CLIENT"; done
    for _ in $(seq 50); do [ "$(drive count QDClient | tr -d '\r')" = 3 ] && break; sleep 0.2; done
    [ "$(drive count QDClient | tr -d '\r')" = 3 ] || fail "three clients did not show"
    drive click-all QDClient 1000
    bars="$(wait_bars 15 '[ "${b[0]}" -gt 0 ] && [ "${b[1]}" -gt 0 ] && [ "${b[2]}" -gt 0 ]')" ||
        fail "three bars should move: $bars"
    screenshot three-clients
    pass "three clients, three bars: $bars"
    for i in 1 2 3; do
        drive msgbox 15000 ok | tr -d '\r' | grep -qF "$SUCCESS" || fail "client $i: no success message"
    done
    bars="$(wait_bars 5 '[ "${b[*]}" = "0 0 0 0 0 0 0 0" ]')" || fail "bars not released: $bars"
    for left in 2 1 0; do
        drive key QDClient 0x1B
        for _ in $(seq 50); do [ "$(drive count QDClient | tr -d '\r')" = "$left" ] && break; sleep 0.2; done
    done
    for i in 1 2 3; do [ "$(wait_exit "client$i" 10)" = 0 ] || fail "client $i did not end"; done
    pass "three clients ended"
    ;;
server-killed)
    start_program client "$CLIENT"
    drive wait QDClient 15000 >/dev/null || fail "QDClient did not show"
    drive click QDClient 1000
    drive wait QDServer 15000 >/dev/null || fail "no QDSERVER"
    bars="$(wait_bars 15 '[ "${b[0]}" -gt 0 ]')" || fail "the call does not run: $bars"
    server_pid="$(live_processes QDSERVER.EXE | head -1)"
    [ -n "$server_pid" ] || fail "no QDSERVER process"
    kill -9 "$server_pid"
    box="$(drive msgbox 20000 | tr -d '\r')"
    echo "$box"
    echo "$box" | grep -qF "$SUCCESS" && fail "success reported although the server died"
    echo "$box" | grep -q "text: ." || fail "no error message box"
    screenshot client-error
    drive msgbox 2000 ok >/dev/null
    drive ping QDClient 2000 >/dev/null || fail "QDCLIENT does not answer after the error"
    [ -z "$(cat "$WORK/client.exit" 2>/dev/null)" ] || fail "QDCLIENT ended"
    pass "the client reports the failure and stays usable"
    drive key QDClient 0x1B
    [ "$(wait_exit client 10)" = 0 ] || fail "Esc did not end QDCLIENT"
    restart_wineserver  # forget the killed server's class registration
    ;;
unicode-folder)
    # A copy of QDSERVER in a folder whose name lies outside the ANSI code page, with a space.
    close_server_if_running
    folder="$WINEPREFIX/drive_c/QD Папка 文件夹"
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$SERVER" "$folder/QDSERVER.EXE"
    # Started by Wine itself: the driver's command line is ANSI.
    wine_run "$folder/QDSERVER.EXE" /RegServer || fail "/RegServer from \"$folder\" failed"
    # The type library's path too, read whole (reg query prints in the console's code page).
    platform=win64
    [ "${QD_ARCH:-x64}" = x86 ] && platform=win32
    wine_run reg export "HKCR\\TypeLib\\{614CC714-7756-4FDA-9110-FE0F1193C7AC}\\1.0\\0\\$platform" \
        "$(winepath -w "$WORK/typelib.reg")" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$WORK/typelib.reg" | grep -qF 'QD Папка 文件夹\\QDSERVER.EXE' ||
        fail "the type library's path is not the copy's: $(iconv -f UTF-16 -t UTF-8 "$WORK/typelib.reg")"
    start_program client "$CLIENT"
    drive wait QDClient 15000 >/dev/null || fail "QDClient did not show"
    mouse_click_make_call
    drive wait QDServer 15000 >/dev/null || fail "COM did not start the copy in \"$folder\""
    server_pid="$(live_processes QDSERVER.EXE | head -1)"
    tr '\0' ' ' <"/proc/$server_pid/cmdline" | grep -qF 'QD Папка 文件夹' ||
        fail "the server that runs is not the copy: $(tr '\0' ' ' <"/proc/$server_pid/cmdline")"
    box="$(drive msgbox 15000 | tr -d '\r')"
    echo "$box" | grep -qF "$SUCCESS" || fail "no success message: $box"
    pass "CreateObject(\"QDSERVER.DEMO\") started the copy in \"C:\\QD Папка 文件夹\" and its call succeeded"
    drive msgbox 2000 ok >/dev/null
    drive key QDClient 0x1B
    [ "$(wait_exit client 10)" = 0 ] || fail "Esc did not end QDCLIENT"
    close_server_if_running
    # The build's own server is the registered one again.
    switch_run 0 "$SERVER" /RegServer
    rm -rf "$folder"
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
assert_no_process QDCLIENT.EXE
