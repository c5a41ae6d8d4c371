#!/usr/bin/env bash
# Clients and servers of the two architectures calling each other through COM: QDCLIENT of one
# architecture, clicked through the X server, gets a QDSERVER of the other that COM starts for it.
# And with both architectures' servers registered (each writes its own registry view), which one a
# client of each architecture gets.
# Usage: cross_arch_test.sh CASE SERVER CLIENT DRIVER PEER_SERVER PEER_CLIENT
# (PEER_*: the other architecture's programs; QD_ARCH: this build's architecture.)
set -u
CASE="$1" SERVER="$2" CLIENT="$3" DRIVER="$4" PEER_SERVER="$5" PEER_CLIENT="$6"
WORK="$(mktemp -d)"
source "$(dirname "$0")/lib.sh"

ARCH="${QD_ARCH:-x64}" PEER_ARCH=x86
[ "$ARCH" = x86 ] && PEER_ARCH=x64
[ -f "$PEER_SERVER" ] && [ -f "$PEER_CLIENT" ] ||
    fail "the $PEER_ARCH programs are not built ($PEER_SERVER); scripts/test.sh builds both architectures"

# Neither architecture's server is registered.
unregister_both() {
    switch_run 0 "$SERVER" /UnregServer
    switch_run 0 "$PEER_SERVER" /UnregServer
}

# Clicks the button of the client $1, expects its architecture to be $2 and the success message,
# and leaves the architecture of the QDSERVER that COM started in ROAD_SERVER_ARCH.
road() {
    local client="$1" client_arch="$2" box
    close_server_if_running
    start_program client "$client"
    drive wait QDClient 15000 >/dev/null || fail "QDClient ($client) did not show"
    [ "$(drive arch QDClient | tr -d '\r')" = "$client_arch" ] || fail "the client is not $client_arch"
    mouse_click_make_call
    drive wait QDServer 15000 >/dev/null || fail "COM started no QDSERVER for the $client_arch client"
    ROAD_SERVER_ARCH="$(drive arch QDServer | tr -d '\r')"
    box="$(drive msgbox 15000 | tr -d '\r')"
    echo "$box" | grep -qF "$SUCCESS" || fail "the $client_arch client got no success message: $box"
    drive msgbox 2000 ok >/dev/null
    drive key QDClient 0x1B
    [ "$(wait_exit client 10)" = 0 ] || fail "Esc did not end the $client_arch QDCLIENT"
    close_server_if_running
    pass "the $client_arch client's call succeeded on the $ROAD_SERVER_ARCH QDSERVER that COM started"
}

case "$CASE" in
client-to-other-server)
    unregister_both
    switch_run 0 "$PEER_SERVER" /RegServer
    road "$CLIENT" "$ARCH"
    [ "$ROAD_SERVER_ARCH" = "$PEER_ARCH" ] || fail "expected the $PEER_ARCH server, got $ROAD_SERVER_ARCH"
    ;;
other-client-to-server)
    unregister_both
    switch_run 0 "$SERVER" /RegServer
    road "$PEER_CLIENT" "$PEER_ARCH"
    [ "$ROAD_SERVER_ARCH" = "$ARCH" ] || fail "expected the $ARCH server, got $ROAD_SERVER_ARCH"
    ;;
both-registered)
    # As on Windows (without an AppID that says otherwise), each client gets the server of its own
    # architecture.
    unregister_both
    switch_run 0 "$PEER_SERVER" /RegServer
    switch_run 0 "$SERVER" /RegServer
    road "$CLIENT" "$ARCH"
    [ "$ROAD_SERVER_ARCH" = "$ARCH" ] || fail "the $ARCH client got the $ROAD_SERVER_ARCH server"
    road "$PEER_CLIENT" "$PEER_ARCH"
    [ "$ROAD_SERVER_ARCH" = "$PEER_ARCH" ] || fail "the $PEER_ARCH client got the $ROAD_SERVER_ARCH server"
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
assert_no_process QDCLIENT.EXE
assert_no_process QDSERVER.EXE
