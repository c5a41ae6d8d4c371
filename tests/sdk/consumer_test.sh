#!/usr/bin/env bash
# A project of its own against the SDK: the build's `cmake --install` into a fresh prefix; every
# installed header includes only installed headers; samples/consumer configured with the prefix's
# toolchain file and package alone, built, registered, and called out of process by a script client
# of the build's architecture.
# Usage: consumer_test.sh BUILD CONSUMER_SOURCE QDSERVER   (QD_ARCH: the architecture of the build)
set -u
BUILD="$1" CONSUMER="$2" SERVER="$3"
WORK="$(mktemp -d)"
source "$(dirname "$0")/../desktop/lib.sh"
source "$(dirname "$0")/../support/script_clients.sh"

SDK="$WORK/sdk"
LIBID='{D138207C-587C-4999-8818-85C586C4A001}'
IID='{D138207C-587C-4999-8818-85C586C4A002}'
PREFIX=x86_64-w64-mingw32 TOOLCHAIN=toolchain-mingw64.cmake TLB_KEY=win64
[ "${QD_ARCH:-x64}" = x86 ] && PREFIX=i686-w64-mingw32 TOOLCHAIN=toolchain-mingw32.cmake TLB_KEY=win32

step() {  # NAME COMMAND...: runs a step, its output in a log shown when it fails
    local name="$1"; shift
    "$@" >"$WORK/step.log" 2>&1 || fail "$name: $(tail -n 30 "$WORK/step.log")"
}

step "cmake --install" cmake --install "$BUILD" --prefix "$SDK"
grep -rlF "$(cd "$(dirname "$0")/../.." && pwd)" "$SDK" >"$WORK/leaks" && fail "the SDK names the source tree: $(cat "$WORK/leaks")"
headers=("$SDK"/include/qdemo/*.h)
printf '#include <%s>\n' "${headers[@]##*/}" >"$WORK/all_headers.cpp"
step "the public headers against the prefix alone" "$PREFIX-g++-posix" -std=c++17 -fsyntax-only \
    -I "$SDK/include/qdemo" "$WORK/all_headers.cpp"
version="$(python3 "$(dirname "$0")/../../installer/exe_version.py" "$SERVER")"
grep -qF "set(PACKAGE_VERSION \"$version\")" "$SDK/lib/cmake/QDemo/QDemoConfigVersion.cmake" ||
    fail "the package's version is not the programs' $version"
pass "the SDK $version installs ${#headers[@]} public headers, each of whose includes is installed"

step "configuring the consumer" cmake -S "$CONSUMER" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$SDK" -DCMAKE_TOOLCHAIN_FILE="$SDK/lib/cmake/QDemo/$TOOLCHAIN"
step "building the consumer" cmake --build "$WORK/build" -j2
TALLY="$WORK/build/QDTALLY.EXE"
pass "samples/consumer built against the installed SDK alone"

# The class goes again, whatever the outcome.
trap 'status=$?; wine "$TALLY" /UnregServer </dev/null >/dev/null 2>&1; (exit $status); on_exit' EXIT
wine "$TALLY" /RegServer </dev/null >"$WORK/reg.log" 2>&1 || fail "QDTALLY /RegServer: exit $?"
expect() { local got; got="$(reg_default "$1")"; [ "$got" = "$2" ] || fail "$1: \"$got\", expected \"$2\""; }
expect "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$TLB_KEY" "$(winepath -w "$TALLY" 2>/dev/null)"
expect "HKCR\\Interface\\$IID" ITally
pass "QDTALLY /RegServer registered its class and the type library it embeds"

QD_CLIENT_TIMEOUT=90
start_script_client tally "$(dirname "$0")/tally.js"
wait_script_clients
judge_script_clients '^Add ' tally && [ "$SCRIPT_CLIENTS_OK" = 1 ] ||
    fail "the script client ended without its last line"
out="$(script_client_output tally)"
[ "$out" = "Add 11, Total 11, heard 2,5,11" ] || fail "the script client got: $out"
pass "a script client called QDTALLY.TALLY out of process: method, property and event"
