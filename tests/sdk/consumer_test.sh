#!/usr/bin/env bash
# A project of its own against the SDK: the build's `cmake --install` into a fresh prefix; every
# installed header includes only installed headers; samples/consumer configured with the prefix's
# toolchain file and package alone, built, registered, and called out of process by a script client
# of the build's architecture.
# Then the mistakes a newcomer makes, each built against the SDK (tests/sdk/wrong): every one is
# loud, at the earliest point, and the check that finds them leaves nothing running.
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

# The SDK's README gives the lines a consumer writes: the sample is built from exactly those.
sed -n '/three lines of CMake/,/^$/s/^  //p' "$SDK/README.txt" | sed 's/MYSERVER/QDTALLY/; s/myserver/tally/g' >"$WORK/lines"
[ "$(wc -l <"$WORK/lines")" = 3 ] || fail "the SDK's README gives no three lines of CMake: $(cat "$WORK/lines")"
grep -vxFf "$CONSUMER/CMakeLists.txt" "$WORK/lines" && fail "samples/consumer does not write the README's lines above"
configure() {  # SOURCE BUILD: a project configured against the installed SDK alone
    step "configuring $1" cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$SDK" -DCMAKE_TOOLCHAIN_FILE="$SDK/lib/cmake/QDemo/$TOOLCHAIN"
}
configure "$CONSUMER" "$WORK/build"
step "building the consumer" cmake --build "$WORK/build" -j2
TALLY="$WORK/build/QDTALLY.EXE"
pass "samples/consumer, the README's three lines of CMake, built against the installed SDK alone"

# The class goes again, whatever the outcome.
trap 'status=$?; wine "$TALLY" /UnregServer </dev/null >/dev/null 2>&1; (exit $status); on_exit' EXIT
wine "$TALLY" /RegServer </dev/null >"$WORK/reg.log" 2>&1 || fail "QDTALLY /RegServer: exit $?"
expect() { local got; got="$(reg_default "$1")"; [ "$got" = "$2" ] || fail "$1: \"$got\", expected \"$2\""; }
expect "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$TLB_KEY" "$(winepath -w "$TALLY" 2>/dev/null)"
expect "HKCR\\Interface\\$IID" ITally
expect "HKCR\\Interface\\$IID\\ProxyStubClsid32" '{00020424-0000-0000-C000-000000000046}'
pass "QDTALLY /RegServer registered its class, the type library it embeds and its dual interface's marshaler"

script() {  # FILE: runs a script client in $WORK; its output, and a COM-started server's, in $WORK/out
    (cd "$WORK" && timeout 90 wine "$(script_host)" //nologo "$1" </dev/null >"$WORK/out" 2>&1)
}
QD_CLIENT_TIMEOUT=90
run_one_script_client tally "$(dirname "$0")/tally.js" '^Add '
out="$(script_client_output tally)"
[ "$out" = "Add 11, Total 11, reset 0, heard 2,5,11, overflow 8002000a described" ] || fail "the script client got: $out"
pass "a script client called QDTALLY.TALLY out of process by name: methods, property, callback and an exception"

# Early-bound: a C++ client of the generated header calls ITally through its vtable.
step "building the C++ client" "$PREFIX-g++-posix" -std=c++17 -O1 -I "$WORK/build" "$(dirname "$0")/tally_client.cpp" \
    -x c "$WORK/build/tally_i.c" -x none -static -lole32 -loleaut32 -luuid -o "$WORK/tally_client.exe"
out="$(cd "$WORK" && timeout 90 wine "$WORK/tally_client.exe" </dev/null 2>/dev/null | tr -d '\r')"
[ "${out%%$'\n'*}" = "total 13, heard 1:2,1:13, called back 0:2,0:13, overflow 0x8002000A, threads one more each" ] ||
    fail "the C++ client got: $out"
pass "a C++ client called ITally through its vtable: event and callback heard, the overflow's HRESULT, each object on a thread of its own (${out#*$'\n'})"
assert_no_process QDTALLY.EXE

cp -r "$CONSUMER/." "$WORK/wrong"
cp "$(dirname "$0")"/wrong/* "$WORK/wrong/"
configure "$WORK/wrong" "$WORK/wrong/build"
cmake --build "$WORK/wrong/build" --target no_factory >"$WORK/none.log" 2>&1 &&
    fail "a server that names no class factory compiled"
grep -q "COleServerApp names no class factory" "$WORK/none.log" || fail "no reason given: $(tail -n 20 "$WORK/none.log")"
pass "a server that names no class factory does not compile, and says what to write"
step "building the servers built wrong" cmake --build "$WORK/wrong/build" -j2

# The check that every start runs makes no object. QDTALLY rebuilt in place with a lock of its own
# (its objects hold it) and its AppID\<file> key gone registers itself again as COM starts it, and
# still ends with its client's last object.
assert_no_process QDTALLY.EXE
sleep 3  # Wine's COM forgets an ended server's class after a moment
cp "$TALLY" "$WORK/QDTALLY.good"
cp "$WORK/wrong/build/QDTALLY_LOCKED.EXE" "$TALLY"
wine_reg delete 'HKCR\AppID\QDTALLY.EXE' /f >/dev/null
cat >"$WORK/once.js" <<'JS'
try { var o = new ActiveXObject("QDTALLY.TALLY"); WScript.Echo("created, Add " + o.Add(1)); }
catch (e) { WScript.Echo("refused 0x" + (e.number >>> 0).toString(16)); }
JS
script once.js
start=$(ms_now)
grep -q "created, Add 1" "$WORK/out" || fail "the script client got: $(cat "$WORK/out")"
[ "$(reg_value 'HKCR\AppID\QDTALLY.EXE' AppID)" != absent ] || fail "QDTALLY did not register itself again"
assert_no_process QDTALLY.EXE
pass "QDTALLY, registering itself as COM started it, ended $(( $(ms_now) - start )) ms after its client"

# Rebuilt in place with its map changed, its registration still there: refused at every start.
sleep 3
cp "$WORK/wrong/build/QDTALLY_MISMATCH.EXE" "$TALLY"
wine "$TALLY" </dev/null >"$WORK/hand.log" 2>&1
rc=$?
[ $rc = 1 ] || fail "the mismatched QDTALLY started by hand ended with $rc: $(cat "$WORK/hand.log")"
for line in "QDTALLY.TALLY: the dispatch map disagrees with the type library" \
    "Total: type VT_ERROR (SCODE) in the map, VT_I4 (long) in the type library" \
    'Clear: the type library names DISPID 4 "Reset"'; do
    grep -qF "$line" "$WORK/hand.log" || fail "started by hand, it did not say: $line; it said: $(cat "$WORK/hand.log")"
done
pass "the mismatched QDTALLY started by hand ends with 1 and names each disagreement by its types"
# Started by COM it has no standard error; its reason goes to the debugger output, which Wine
# writes (+debugstr) into its client's output.
start=$(ms_now)
WINEDEBUG=-all,+debugstr script once.js
took=$(( $(ms_now) - start ))
grep -q "^refused 0x" "$WORK/out" || fail "a script client of the mismatched class got: $(cat "$WORK/out")"
grep -qF "QDTALLY.TALLY: the dispatch map disagrees" "$WORK/out" || fail "the server did not say why: $(cat "$WORK/out")"
assert_no_process QDTALLY.EXE
pass "started by COM, the mismatched QDTALLY refuses the class: the script heard $(grep -o 'refused 0x[0-9a-f]*' "$WORK/out") in $took ms"
# Started as COM starts it, but no creation ever comes (its client gave up first): it ends by itself.
start=$(ms_now)
(wine "$TALLY" -Embedding </dev/null >/dev/null 2>&1 &)
sleep 2
assert_no_process QDTALLY.EXE
pass "the mismatched QDTALLY, started for COM and never asked for an object, ended $(( $(ms_now) - start )) ms after its start"
cp "$WORK/QDTALLY.good" "$TALLY"

# Two classes: one AppID, the first class's ID, and once registered a start by hand writes nothing.
TWO="$WORK/wrong/build/QDTALLY_TWO.EXE"
FIRST='{D138207C-587C-4999-8818-85C586C4A004}' SECOND='{D138207C-587C-4999-8818-85C586C4A005}'
wine "$TWO" /RegServer </dev/null >"$WORK/two.log" 2>&1 || fail "QDTALLY_TWO /RegServer: $(cat "$WORK/two.log")"
for key in "HKCR\\CLSID\\$FIRST" "HKCR\\CLSID\\$SECOND" 'HKCR\AppID\QDTALLY_TWO.EXE'; do
    [ "$(reg_value "$key" AppID)" = "$FIRST" ] || fail "$key: AppID \"$(reg_value "$key" AppID)\", expected $FIRST"
done
wine_reg add "HKCR\\CLSID\\$SECOND\\ProgID" /ve /d unchanged /f >/dev/null
wine "$TWO" </dev/null >"$WORK/two.log" 2>&1 || fail "QDTALLY_TWO started by hand: $(cat "$WORK/two.log")"
[ "$(reg_default "HKCR\\CLSID\\$SECOND\\ProgID")" = unchanged ] || fail "QDTALLY_TWO rewrote its registration"
wine "$TWO" /UnregServer </dev/null >/dev/null 2>&1 || fail "QDTALLY_TWO /UnregServer"
for key in "HKCR\\CLSID\\$SECOND" "HKCR\\AppID\\$FIRST" 'HKCR\AppID\QDTALLY_TWO.EXE'; do
    [ "$(reg_default "$key")" = absent ] || fail "$key is left after /UnregServer"
done
pass "a server with two classes registers them under one AppID, counts as registered, and unregisters whole"

# A class factory that exists but is not named: the switch refuses and says what to add.
wine "$WORK/wrong/build/QDTALLY_UNNAMED.EXE" /RegServer </dev/null >"$WORK/unnamed.log" 2>&1
rc=$?
[ $rc = 1 ] || fail "/RegServer with a factory left out ended with $rc"
grep -qF "QDTALLY.SECOND: the class factory exists, but the application does not name it: add &CSecond::factory" \
    "$WORK/unnamed.log" || fail "not said on standard error: $(cat "$WORK/unnamed.log")"
[ "$(reg_default 'HKCR\QDTALLY.SECOND')" = absent ] || fail "the unnamed class was registered"
pass "/RegServer refuses a server that leaves a class factory out, saying what to add"
