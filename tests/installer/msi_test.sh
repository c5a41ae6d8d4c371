#!/usr/bin/env bash
# The Windows Installer package of the architecture under test, in a fresh Wine prefix of its own:
# silent installs (first an older version, then this one over it, then this version rebuilt and
# the same package again), what an installation leaves (files, Start-menu shortcuts, the
# installed-programs entry, the class registration), QDCLIENT's call to the installed QDSERVER
# that COM starts, an uninstallation refused while QDSERVER runs (and, with the other
# architecture's build, not refused while only the other architecture's QDSERVER runs), silent
# uninstallations after which the registry and drive C: are as they were before the first
# install, and the rollback of a failed installation and of a failed uninstallation.
# Usage: msi_test.sh BUILD_DIR DRIVER [PEER_BUILD]   (QD_ARCH: the architecture of the build;
# PEER_BUILD: the other architecture's build)
set -u
BUILD="$1" DRIVER="$2" PEER="${3:-}"
WORK="$(mktemp -d)"
source "$(dirname "$0")/../desktop/lib.sh"
source "$(dirname "$0")/../../scripts/env.sh"
source "$QD_ROOT/installer/signing.sh"
# The prefix and the display are this test's own (clicks reach no other run's windows) and go
# with it: end them, never restart them as lib.sh does for the shared prefix, which is never
# touched (no WINEPREFIX until this test's own is made).
unset WINEPREFIX
trap 'status=$?; qd_cleanup; rm -rf "$WORK"; exit $status' EXIT

ARCH="${QD_ARCH:-x64}"
if [ "$ARCH" = x64 ]; then
    PRODUCT="QDemo (64-bit)" PROGRAM_FILES="Program Files"
else
    PRODUCT="QDemo (32-bit)" PROGRAM_FILES="Program Files (x86)"
fi
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

VERSION="$(python3 "$QD_ROOT/installer/exe_version.py" "$BUILD/server/QDSERVER.EXE" "$BUILD/client/QDCLIENT.EXE")" ||
    fail "no version in the programs"
# Windows Installer compares major.minor.build: the older package differs in the third field only.
OLDER_VERSION="$(echo "$VERSION" | awk -F. '$3 > 0 { printf "%d.%d.%d.0", $1, $2, $3 - 1 }')"
[ -n "$OLDER_VERSION" ] || fail "version $VERSION has no build number to count down"
# The package as scripts/package.sh makes it: signed, of signed programs (SIGNED: those copies).
qd_signing_certificate "$WORK/certificate" 2>/dev/null || fail "no signing certificate"
MSI="$(qd_build_signed_msi "$ARCH" "$BUILD" "$WORK/msi")" || fail "building the package"
SIGNED="$WORK/msi/signed-$ARCH"
# wixl gives every package a product code of its own: REBUILT is this version built again.
REBUILT="$(qd_build_msi "$ARCH" "$SIGNED" "$WORK/rebuilt")" || fail "building the package again"
OLDER="$(qd_build_msi "$ARCH" "$SIGNED" "$WORK/older" "$OLDER_VERSION")" || fail "building an older package"
# This version with steps that fail on demand (the property QD_TEST_FAILURE).
FAILING="$(qd_build_msi "$ARCH" "$SIGNED" "$WORK/failing" "" TestFailures=1)" || fail "building the failing package"

start=$(ms_now)
qd_make_prefix "$WORK/prefix"
QD_VIRTUAL_DISPLAY=1 qd_start_display 2>/dev/null
qd_keep_prefix_warm
INSTALLED="$WINEPREFIX/drive_c/$PROGRAM_FILES/QDemo"
pass "fresh prefix in $(( $(ms_now) - start )) ms"

# Both registry views of HKLM, HKCU, and the file tree of drive C:, one line per key, value and
# file, without what the installation does not own and what Wine changes by itself:
IGNORED_REGISTRY=(
    # Windows Installer's own bookkeeping keys, empty once no product is installed; Windows has
    # them from the start. A product's key under them still counts.
    '^\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)(\\Features|\\Products|\\UpgradeCodes|\\UserData(\\S-1-5-18(\\Components|\\Products)?)?)?\]$'
    # The date that Wine's display driver stamps on the video device each time it starts.
    '^\[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\(Class|Video)\\[^]]*\] "DriverDateData"='
    # Wine's copy of the session's mouse and desktop parameters.
    '^\[HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters'
    # The hardware map: volatile on Windows too (rebuilt at every boot from what the drivers
    # find), written by Wine's display driver and device services whenever they come up, and
    # never by a package. Wine once added DEVICEMAP\VIDEO between the two snapshots.
    '^\[HKEY_LOCAL_MACHINE\\Hardware(\\|\])'
)
# and Windows Installer's cache folder, empty once no product is installed.
snapshot() {  # into $WORK/snapshot-$1
    local out="$WORK/snapshot-$1" view file
    mkdir -p "$out"
    for view in 64 32; do
        wine reg export HKLM "$out/hklm$view.reg" /reg:$view /y >/dev/null 2>&1 || fail "exporting HKLM ($view-bit)"
    done
    wine reg export HKCU "$out/hkcu.reg" /y >/dev/null 2>&1 || fail "exporting HKCU"
    for file in "$out"/*.reg; do
        iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' |
            awk '/^\[/ { key = $0; print; next } /^$/ { next } { print key " " $0 }' |
            grep -vE "$(IFS='|'; echo "${IGNORED_REGISTRY[*]}")" >"$file.txt"
    done
    (cd "$WINEPREFIX/drive_c" && find . | grep -vx './windows/Installer' | sort) >"$out/files.txt"
}

# The registry and drive C: are as they were before the first install ($1 names the moment).
assert_as_before() {
    local file changed=0
    snapshot "$1"
    for file in hklm64.reg.txt hklm32.reg.txt hkcu.reg.txt files.txt; do
        diff "$WORK/snapshot-before/$file" "$WORK/snapshot-$1/$file" >"$WORK/diff" ||
            { echo "-- $file:"; head -40 "$WORK/diff"; changed=1; }
    done
    [ $changed = 0 ] || fail "$1 left changes behind (above)"
    pass "$1: both registry views and drive C: are as before the first install"
}

# The keys of the installed-programs entries named after this product.
entries() {
    wine_reg query "$UNINSTALL_KEY" /s 2>/dev/null | tr -d '\r' |
        awk -v name="$PRODUCT" '/^HKEY/ { key = $0 } $1 == "DisplayName" && index($0, name) { print key }'
}
entry_value() {
    wine_reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}


# Runs msiexec with a time limit: a registration step that hangs (a QDSERVER that shows its
# dialog instead of registering) fails the test, whose cleanup then ends the prefix's processes.
msiexec() {
    timeout 120 wine msiexec "$@" </dev/null >>"$WORK/msiexec.log" 2>&1
}

# Installs the package $1 silently and expects a single entry of version $2.
install() {
    local start rc found
    start=$(ms_now)
    msiexec /i "$(winepath -w "$1")" /qn
    rc=$?
    [ $rc = 0 ] || fail "msiexec /i $(basename "$1") /qn exited with $rc"
    found="$(entries)"
    [ "$(echo "$found" | grep -c .)" = 1 ] || fail "$(basename "$1"): expected one entry, found: $found"
    [ "$(entry_value "$found" DisplayVersion)" = "$2" ] || fail "the entry is not version $2"
    pass "silent install of $(basename "$1") in $(( $(ms_now) - start )) ms: one entry, version $2"
}

# Runs the entry's quiet uninstall command; msiexec's exit code lands in UNINSTALL_RC.
quiet_uninstall() {
    local command
    command="$(entry_value "$(entries)" QuietUninstallString)"
    [ -n "$command" ] || fail "the entry has no QuietUninstallString"
    [[ "$command" == "MsiExec.exe "* ]] || fail "the quiet uninstall command is not msiexec's: $command"
    # A refusal is an answer here, not a failure of the script.
    UNINSTALL_RC=0
    # shellcheck disable=SC2086
    msiexec ${command#MsiExec.exe } || UNINSTALL_RC=$?
}

# What an installation leaves: the programs, their shortcuts, the entry, the class registration.
assert_installed() {
    local program shortcut key server clsid
    for program in server/QDSERVER.EXE client/QDCLIENT.EXE; do
        cmp -s "$SIGNED/$program" "$INSTALLED/${program#*/}" || fail "$INSTALLED/${program#*/} is not the built program, signed"
    done
    for program in QDServer QDClient; do
        # Wine puts an all-users package's shortcuts into the user's Start menu.
        shortcut="$(find "$WINEPREFIX/drive_c" -path "*/Start Menu/Programs/$PRODUCT/$program.lnk")"
        [ -n "$shortcut" ] || fail "no Start-menu shortcut $PRODUCT/$program.lnk"
        grep -aqF "$PROGRAM_FILES\\QDemo\\${program^^}.EXE" "$shortcut" || fail "$program.lnk does not lead to the installed program"
    done
    key="$(entries)"
    [ "$(entry_value "$key" DisplayName)" = "$PRODUCT" ] || fail "the entry's name"
    [[ "$(entry_value "$key" UninstallString)" == "MsiExec.exe /X{"*"}" ]] || fail "the entry's UninstallString"
    [ "$(entry_value "$key" QuietUninstallString)" = "$(entry_value "$key" UninstallString) /qn" ] ||
        fail "the entry's QuietUninstallString"
    clsid="$(reg_default 'HKCR\QDSERVER.DEMO\CLSID')"
    [ "$clsid" != absent ] || fail "QDSERVER.DEMO is not registered"
    server="$(reg_default "HKCR\\CLSID\\$clsid\\LocalServer32")"
    [[ "$server" == *"C:\\$PROGRAM_FILES\\QDemo\\QDSERVER.EXE"* ]] || fail "the class leads to $server"
    [ "$(reg_value 'HKCR\AppID\QDSERVER.EXE' AppID)" = "$clsid" ] || fail "QDSERVER.EXE has no AppID"
    wine_reg query 'HKCR\TypeLib' /s | tr -d '\r' | grep -qxF "    (Default)    REG_SZ    C:\\$PROGRAM_FILES\\QDemo\\QDSERVER.EXE" ||
        fail "no type library registered at the installed QDSERVER.EXE"
    pass "installed: both programs, both shortcuts, the entry ($key), the class ($server) and its type library"
}

# The "before" snapshot waits until the desktop's display driver is up (it writes the video
# device's keys, ignored above anyway), so that Wine's own start-up lands before it; 30 s at most.
for _ in $(seq 300); do
    wine_reg query 'HKLM\Hardware\DEVICEMAP\VIDEO' >/dev/null 2>&1 && break
    sleep 0.1
done
snapshot before
install "$OLDER" "$OLDER_VERSION"
install "$MSI" "$VERSION"
install "$REBUILT" "$VERSION"
install "$REBUILT" "$VERSION"
msiexec /i "$(winepath -w "$OLDER")" /qn && fail "an older version was installed over this one"
[ "$(entry_value "$(entries)" DisplayVersion)" = "$VERSION" ] || fail "the refused older version changed the entry"
pass "an older version ($OLDER_VERSION) is refused over this one"
assert_installed

# The installed client, clicked, gets the installed server from COM.
start_program client "$INSTALLED/QDCLIENT.EXE"
drive wait QDClient 15000 >/dev/null || fail "the installed QDCLIENT did not show"
mouse_click_make_call
drive wait QDServer 15000 >/dev/null || fail "COM started no QDSERVER"
box="$(drive msgbox 15000 | tr -d '\r')"
echo "$box" | grep -qF "$SUCCESS" || fail "no success message: $box"
drive msgbox 2000 ok >/dev/null
drive key QDClient 0x1B
[ "$(wait_exit client 10)" = 0 ] || fail "Esc did not end QDCLIENT"
pass "the installed QDCLIENT's call succeeded on the QDSERVER that COM started"

# QDSERVER is still open (COM started it; the user has it now): the uninstallation and an upgrade
# (this version built again) refuse.
drive wait QDServer 100 >/dev/null || fail "QDSERVER closed with its last client"
quiet_uninstall
[ "$UNINSTALL_RC" != 0 ] || fail "the quiet uninstallation succeeded while QDSERVER was running"
msiexec /i "$(winepath -w "$MSI")" /qn && fail "an upgrade went ahead while QDSERVER was running"
drive wait QDServer 100 >/dev/null || fail "QDSERVER was closed"
assert_installed
pass "with QDSERVER running, the quiet uninstallation exits with $UNINSTALL_RC, an upgrade fails, nothing changes"
close_server_if_running

# The check looks for a QDSERVER of the package's own architecture only (the other architecture's
# has its own package, folder and registry view). Needs the other build (the x86 suite has it).
if [ -n "$PEER" ]; then
    PEER_ARCH=x64
    [ "$ARCH" = x64 ] && PEER_ARCH=x86
    PEER_MSI="$(qd_build_msi "$PEER_ARCH" "$PEER" "$WORK/peer")" || fail "building the $PEER_ARCH package"
    start_program peer "$PEER/server/QDSERVER.EXE"
    drive wait QDServer 15000 >/dev/null || fail "the $PEER_ARCH QDSERVER did not show"
    install "$REBUILT" "$VERSION"
    close_server_if_running
    msiexec /i "$(winepath -w "$PEER_MSI")" /qn || fail "installing the $PEER_ARCH package"
    start_program server "$INSTALLED/QDSERVER.EXE"
    drive wait QDServer 15000 >/dev/null || fail "the installed QDSERVER did not show"
    msiexec /x "$(winepath -w "$PEER_MSI")" /qn || fail "the $PEER_ARCH package did not uninstall while the $ARCH QDSERVER ran"
    close_server_if_running
    # The ProgID key is shared by both registry views: the other package's unregistration took it.
    switch_run 0 "$INSTALLED/QDSERVER.EXE" /RegServer
    assert_installed
    pass "a running $PEER_ARCH QDSERVER does not hold up the $ARCH package, nor the other way round"
fi

for round in 1 2; do
    if [ $round = 2 ]; then
        install "$MSI" "$VERSION"
        assert_installed
    fi
    start=$(ms_now)
    quiet_uninstall
    [ "$UNINSTALL_RC" = 0 ] || fail "the quiet uninstallation exited with $UNINSTALL_RC"
    pass "quiet uninstall in $(( $(ms_now) - start )) ms"
    [ -z "$(entries)" ] || fail "an entry is left"
    assert_as_before "uninstallation-$round"
done

# Rollback, with the failing package. A failed installation leaves no entry and no programs.
# The class registration is not checked: Wine's msiexec removes the new files before it runs
# RollbackRegisterServer, which then finds no QDSERVER.EXE (Windows runs the rollback script in
# reverse order, unregistration first; installer.lint checks that each registration has its undoing
# partner). An installation and uninstallation of the package clean it up.
msiexec /i "$(winepath -w "$FAILING")" /qn QD_TEST_FAILURE=1 && fail "the failing installation succeeded"
[ -z "$(entries)" ] || fail "the failed installation left an entry"
[ ! -e "$INSTALLED" ] || fail "the failed installation left $INSTALLED"
pass "a failed installation is rolled back: no entry, no programs"
install "$MSI" "$VERSION"
quiet_uninstall
[ "$UNINSTALL_RC" = 0 ] || fail "the quiet uninstallation exited with $UNINSTALL_RC"
assert_as_before "a failed installation, then an installation and an uninstallation"
# A failed uninstallation: UnregisterServer had removed the registration, RollbackUnregisterServer
# writes it again. (Wine's rollback leaves the programs without their entry.)
install "$FAILING" "$VERSION"
msiexec /x "$(winepath -w "$FAILING")" /qn QD_TEST_FAILURE=1 && fail "the failing uninstallation succeeded"
[ -f "$INSTALLED/QDSERVER.EXE" ] || fail "the failed uninstallation removed QDSERVER.EXE"
clsid="$(reg_default 'HKCR\QDSERVER.DEMO\CLSID')"
[ "$clsid" != absent ] || fail "the rolled-back uninstallation left QDSERVER.DEMO unregistered"
[[ "$(reg_default "HKCR\\CLSID\\$clsid\\LocalServer32")" == *"C:\\$PROGRAM_FILES\\QDemo\\QDSERVER.EXE"* ]] ||
    fail "the rolled-back uninstallation left the class without the installed server"
pass "a failed uninstallation is rolled back: QDSERVER.EXE is there and registered again"
