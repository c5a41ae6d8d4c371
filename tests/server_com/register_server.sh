#!/usr/bin/env bash
# Starts QDSERVER once, as a user would, so that it writes its registration; then closes it and
# checks what it wrote.
set -u
SERVER="$1" DRIVER="$2"
WORK="$(mktemp -d)"
source "$(dirname "$0")/../desktop/lib.sh"

register_by_one_start "$SERVER"
clsid="$(wine_reg query 'HKCR\QDSERVER.DEMO\CLSID' /ve 2>/dev/null | tr -d '\r' | grep -o '{[0-9A-F-]*}')"
[ -n "$clsid" ] || fail "no class ID under the ProgID QDSERVER.DEMO"
server="$(wine_reg query "HKCR\\CLSID\\$clsid\\LocalServer32" /ve 2>/dev/null | tr -d '\r' | grep REG_SZ)"
echo "$server" | grep -q '"[A-Z]:\\.*QDSERVER.EXE"' || fail "LocalServer32 is not the quoted server path: $server"
pass "QDSERVER.DEMO is registered: $clsid -> ${server##*REG_SZ    }"
