#!/usr/bin/env bash
# QDSERVER's registration in the registry.
#   start     (the fixture) starts QDSERVER once, as a user would, so that it writes its
#             registration; then closes it and checks what it wrote.
#   switches  /RegServer and /UnregServer, as installers run them: no window, the exit code, and
#             exactly the registry keys that the server owns; the server is registered again at the end.
# Usage: register_server.sh SERVER DRIVER [start|switches]
set -u
SERVER="$1" DRIVER="$2" CASE="${3:-start}"
WORK="$(mktemp -d)"
source "$(dirname "$0")/../desktop/lib.sh"

CLSID='{BB2FF4E7-0C33-4764-B3B4-F911B8499C26}'
IID='{0514E068-97D3-4158-B9D0-F5969D13486B}'
LIBID='{614CC714-7756-4FDA-9110-FE0F1193C7AC}'
PS_DISPATCH='{00020420-0000-0000-C000-000000000046}'
# This build's type library path key, and the other build's (the library is shared by both).
MINE=win64 OTHER=win32 OTHER_VIEW=/reg:32
[ "${QD_ARCH:-x64}" = x86 ] && MINE=win32 OTHER=win64 OTHER_VIEW=/reg:64
SERVER_WIN="$(winepath -w "$SERVER" 2>/dev/null)"

expect_key() {  # KEY VALUE [VIEW]
    local got
    got="$(reg_default "$1" "${3:-}")"
    [ "$got" = "$2" ] || fail "$1 ${3:-$QD_REG_VIEW}: \"$got\", expected \"$2\"
$(wine_run reg query "$1" /s "${3:-$QD_REG_VIEW}")"
}

# Runs QDSERVER with a switch; it must end with exit code $1 without showing any window.
switch_run() {
    local want="$1" report
    shift
    report="$(run_watched "$SERVER" "$@")"
    [ "$(echo "$report" | tail -1)" = "exit $want windows 0" ] || fail "QDSERVER $*: $report"
    pass "QDSERVER $* ends with $want and shows no window"
}

expect_registered() {
    expect_key 'HKCR\QDSERVER.DEMO\CLSID' "$CLSID"
    expect_key "HKCR\\CLSID\\$CLSID\\LocalServer32" "\"$SERVER_WIN\""
    expect_key "HKCR\\TypeLib\\$LIBID\\1.0" "QDSERVER 1.0 Type Library"
    expect_key "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$MINE" "$SERVER_WIN"
    local view
    for view in /reg:64 /reg:32; do
        expect_key "HKCR\\Interface\\$IID\\TypeLib" "$LIBID" $view
        expect_key "HKCR\\Interface\\$IID\\ProxyStubClsid32" "$PS_DISPATCH" $view
    done
}

case "$CASE" in
start)
    start_program server "$SERVER"
    drive wait QDServer 15000 >/dev/null || fail "QDSERVER did not show its dialog"
    drive sysmenu-close QDServer
    [ "$(wait_exit server 10)" = 0 ] || fail "QDSERVER did not end"
    expect_registered
    pass "a start registers QDSERVER.DEMO -> $CLSID -> \"$SERVER_WIN\" and its type library $LIBID"
    # Wine's COM keeps an ended server's class for about 2 s; let it go before clients ask.
    sleep 3
    ;;
switches)
    close_server_if_running
    OTHER_PATH="$(reg_default "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER")"
    OTHER_CLASS="$(reg_default "HKCR\\CLSID\\$CLSID\\LocalServer32" $OTHER_VIEW)"
    restore_other_build() {
        if [ "$OTHER_PATH" = absent ]; then
            wine_run reg delete "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" /f >/dev/null
        else
            wine_run reg add "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" /ve /d "$OTHER_PATH" /f >/dev/null
        fi
        if [ "$OTHER_CLASS" = absent ]; then
            wine_run reg delete "HKCR\\CLSID\\$CLSID" /f $OTHER_VIEW >/dev/null
        else
            wine_run reg add "HKCR\\CLSID\\$CLSID\\LocalServer32" /ve /d "$OTHER_CLASS" /f $OTHER_VIEW >/dev/null
        fi
    }
    # Keys of another class, which no switch may touch.
    SENTINELS=('HKCR\QDTest.Other\CLSID' 'HKCR\CLSID\{6D1D5F3A-0B43-4E61-9C37-2A0E8B1F4C55}'
               'HKCR\TypeLib\{6D1D5F3A-0B43-4E61-9C37-2A0E8B1F4C56}\1.0\0\win32'
               'HKCR\Interface\{6D1D5F3A-0B43-4E61-9C37-2A0E8B1F4C57}\TypeLib')
    for key in "${SENTINELS[@]}"; do wine_reg add "$key" /ve /d other /f >/dev/null; done
    cleanup() {
        # A failed run registers the server again: later tests need it.
        [ "$1" != 0 ] && run_watched "$SERVER" /RegServer >/dev/null
        restore_other_build
        for key in 'HKCR\QDTest.Other' 'HKCR\CLSID\{6D1D5F3A-0B43-4E61-9C37-2A0E8B1F4C55}' \
                   'HKCR\TypeLib\{6D1D5F3A-0B43-4E61-9C37-2A0E8B1F4C56}' \
                   'HKCR\Interface\{6D1D5F3A-0B43-4E61-9C37-2A0E8B1F4C57}'; do
            wine_reg delete "$key" /f >/dev/null
        done
    }
    trap 'status=$?; cleanup $status; (exit $status); on_exit' EXIT

    # Alone: the only registration of the library. Entries that a start without the right to the
    # machine's classes writes under the user's classes are removed as well.
    wine_run reg delete "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" /f >/dev/null
    switch_run 0 /RegServer
    expect_registered
    USER='HKCU\Software\Classes'
    wine_reg add "$USER\\QDSERVER.DEMO\\CLSID" /ve /d "$CLSID" /f >/dev/null
    wine_reg add "$USER\\CLSID\\$CLSID\\LocalServer32" /ve /d "\"$SERVER_WIN\"" /f >/dev/null
    wine_reg add "$USER\\TypeLib\\$LIBID\\1.0\\0\\$MINE" /ve /d "$SERVER_WIN" /f >/dev/null
    wine_reg add "$USER\\Interface\\$IID\\TypeLib" /ve /d "$LIBID" /f >/dev/null
    switch_run 0 -unregserver
    for key in 'HKCR\QDSERVER.DEMO' "HKCR\\CLSID\\$CLSID" "HKCR\\TypeLib\\$LIBID" "$USER\\QDSERVER.DEMO" \
               "$USER\\CLSID\\$CLSID" "$USER\\TypeLib\\$LIBID" "$USER\\Interface\\$IID"; do
        expect_key "$key" absent
    done
    expect_key "HKCR\\Interface\\$IID" absent /reg:64
    expect_key "HKCR\\Interface\\$IID" absent /reg:32
    for key in "${SENTINELS[@]}"; do expect_key "$key" other; done
    pass "/UnregServer removed the ProgID, the class, the type library and its interface keys, and nothing else"
    switch_run 0 /UnregServer

    # Beside the other build's registration: its library path, its class and the interface keys
    # that its library needs stay.
    switch_run 0 /REGSERVER
    wine_run reg add "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" /ve /d 'C:\other\QDSERVER.EXE' /f >/dev/null
    wine_run reg add "HKCR\\CLSID\\$CLSID\\LocalServer32" /ve /d '"C:\other\QDSERVER.EXE"' /f $OTHER_VIEW >/dev/null
    switch_run 0 /UnregServer
    expect_key 'HKCR\QDSERVER.DEMO' absent
    expect_key "HKCR\\CLSID\\$CLSID" absent
    expect_key "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$MINE" absent
    expect_key "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" 'C:\other\QDSERVER.EXE'
    expect_key "HKCR\\CLSID\\$CLSID\\LocalServer32" '"C:\other\QDSERVER.EXE"' $OTHER_VIEW
    expect_key "HKCR\\Interface\\$IID\\TypeLib" "$LIBID" /reg:64
    expect_key "HKCR\\Interface\\$IID\\TypeLib" "$LIBID" /reg:32
    pass "/UnregServer left the other build's type library, class and interface keys"

    # Both switches at once contradict each other: a failure, and nothing is written.
    switch_run 1 /RegServer /UnregServer
    expect_key 'HKCR\QDSERVER.DEMO' absent

    switch_run 0 /RegServer
    expect_registered
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
