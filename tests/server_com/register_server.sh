#!/usr/bin/env bash
# QDSERVER's registration in the registry.
#   start     (the fixture) starts QDSERVER once, as a user would, so that it writes its
#             registration; then closes it and checks what it wrote.
#   switches  /RegServer and /UnregServer, as installers run them: no window, the exit code, and
#             exactly the registry keys that the server owns, in both views; the server is
#             registered again at the end. (Which classes each switch writes: RegistrationRulesTest.)
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

expect_value() {  # KEY NAME VALUE [VIEW]; NAME /ve: the default value
    local got
    got="$(reg_value "$1" "$2" "${4:-}")"
    [ "$got" = "$3" ] || fail "$1 $2 ${4:-$QD_REG_VIEW}: \"$got\", expected \"$3\"
$(wine_run reg query "$1" /s "${4:-$QD_REG_VIEW}")"
}
expect_key() { expect_value "$1" /ve "$2" "${3:-}"; }  # KEY VALUE [VIEW]

# The server's AppID keys, shared by the two registry views.
expect_app_id() {  # absent | present
    local view
    for view in /reg:64 /reg:32; do
        if [ "$1" = absent ]; then
            expect_key "HKCR\\AppID\\$CLSID" absent $view
            expect_key 'HKCR\AppID\QDSERVER.EXE' absent $view
        else
            expect_key "HKCR\\AppID\\$CLSID" QDSERVER $view
            expect_value 'HKCR\AppID\QDSERVER.EXE' AppID "$CLSID" $view
        fi
    done
}

expect_registered() {
    expect_key 'HKCR\QDSERVER.DEMO\CLSID' "$CLSID"
    expect_key "HKCR\\CLSID\\$CLSID\\LocalServer32" "\"$SERVER_WIN\""
    expect_value "HKCR\\CLSID\\$CLSID" AppID "$CLSID"
    expect_app_id present
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
    register_by_one_start "$SERVER"
    expect_registered
    pass "a start registers QDSERVER.DEMO -> $CLSID -> \"$SERVER_WIN\" and its type library $LIBID"
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

    # Alone: the only registration of the library and of the class.
    wine_run reg delete "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" /f >/dev/null
    wine_run reg delete "HKCR\\CLSID\\$CLSID" /f $OTHER_VIEW >/dev/null
    switch_run 0 "$SERVER" /RegServer
    expect_registered
    switch_run 0 "$SERVER" -unregserver
    for key in 'HKCR\QDSERVER.DEMO' "HKCR\\CLSID\\$CLSID" "HKCR\\TypeLib\\$LIBID"; do
        expect_key "$key" absent
    done
    expect_key "HKCR\\Interface\\$IID" absent /reg:64
    expect_key "HKCR\\Interface\\$IID" absent /reg:32
    expect_app_id absent
    for key in "${SENTINELS[@]}"; do expect_key "$key" other; done
    pass "/UnregServer removed the ProgID, the class, its AppID, the type library and its interface keys, and nothing else"
    switch_run 0 "$SERVER" /UnregServer

    # Beside the other build's registration: its library path, its class and the interface keys
    # that its library needs stay.
    switch_run 0 "$SERVER" /REGSERVER
    wine_run reg add "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" /ve /d 'C:\other\QDSERVER.EXE' /f >/dev/null
    wine_run reg add "HKCR\\CLSID\\$CLSID\\LocalServer32" /ve /d '"C:\other\QDSERVER.EXE"' /f $OTHER_VIEW >/dev/null
    switch_run 0 "$SERVER" /UnregServer
    # The ProgID, shared by the two views, still leads to the other build's class.
    expect_key 'HKCR\QDSERVER.DEMO\CLSID' "$CLSID"
    expect_key "HKCR\\CLSID\\$CLSID" absent
    expect_key "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$MINE" absent
    expect_key "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$OTHER" 'C:\other\QDSERVER.EXE'
    expect_key "HKCR\\CLSID\\$CLSID\\LocalServer32" '"C:\other\QDSERVER.EXE"' $OTHER_VIEW
    expect_key "HKCR\\Interface\\$IID\\TypeLib" "$LIBID" /reg:64
    expect_key "HKCR\\Interface\\$IID\\TypeLib" "$LIBID" /reg:32
    expect_app_id present
    pass "/UnregServer left the other build's ProgID, AppID, type library, class and interface keys"
    # The ProgID goes with the class's last registration.
    switch_run 0 "$SERVER" /RegServer
    wine_run reg delete "HKCR\\CLSID\\$CLSID" /f $OTHER_VIEW >/dev/null
    switch_run 0 "$SERVER" /UnregServer
    expect_key 'HKCR\QDSERVER.DEMO' absent
    expect_app_id absent
    pass "/UnregServer removed the ProgID and the AppID once no view had the class"

    switch_run 0 "$SERVER" /RegServer
    expect_registered
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
