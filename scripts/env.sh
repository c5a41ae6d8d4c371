# Shared set-up for the run, test and benchmark commands: packages, the build, a Wine prefix of its
# own and a display (the user's, or a virtual one). Source it; call the functions.

QD_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# mingw-w64-tools has widl, which compiles the type library; libwine-dev has the IDL files it imports.
QD_PACKAGES="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libwine-dev wine wine64 fonts-wine
xvfb xauth x11-utils imagemagick xdotool cmake make googletest python3"

# 32-bit Windows programs need Wine's 32-bit loader, an i386 package.
QD_PACKAGES_I386="wine32:i386"

# The Windows Installer packages: wixl builds them from WiX source, msitools reads and patches them,
# osslsigncode signs them and the programs (openssl makes a throwaway certificate when none is given).
QD_PACKAGING_PACKAGES="wixl msitools osslsigncode openssl"

# The second compiler (clang, linking with lld) and the static analysers (scripts/analyze.sh).
QD_ANALYSIS_PACKAGES="clang lld clang-tidy cppcheck"

qd_log() { printf '[qd] %s\n' "$*" >&2; }

# No script ends without saying why: a command that fails under `set -e` is named, with its exit
# code and where it stands; a step run through qd_quiet is named too, with the end of its output.
qd_on_error() {
    local rc=$? command="$BASH_COMMAND" where="${BASH_SOURCE[1]:-?}:${BASH_LINENO[0]:-?}"
    trap - ERR
    local log=""
    if [ -n "${QD_STEP_LOG:-}" ] && [ -e "$QD_STEP_LOG" ]; then
        log="$QD_STEP_LOG" command="$QD_STEP_COMMAND"
    fi
    qd_log "FAILED: ${QD_STEP:-$(basename "$0")} (exit code $rc)"
    qd_log "  command: $command"
    qd_log "  at: ${where#"$QD_ROOT/"}"
    if [ -n "$log" ]; then
        qd_log "  its last lines of output:"
        tail -n 25 "$log" | sed 's/^/[qd]   | /' >&2
        rm -f "$log"
    fi
    exit "$rc"
}
# The commands call it first; scripts that source this file for its functions (the tests) do not.
qd_fail_loudly() {
    set -E
    trap qd_on_error ERR
}

# Runs a step whose output nobody needs unless it fails ($1 names the step): the output goes to a
# log, kept on failure for qd_on_error to show. Returns the command's exit code.
qd_quiet() {
    local rc=0
    QD_STEP="$1"
    shift
    QD_STEP_COMMAND="$*"
    QD_STEP_LOG="$(mktemp /tmp/qd-step.XXXXXX)"
    "$@" >"$QD_STEP_LOG" 2>&1 || rc=$?
    if [ "$rc" = 0 ]; then
        rm -f "$QD_STEP_LOG"
        QD_STEP="" QD_STEP_LOG=""
    fi
    return "$rc"
}

qd_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

# Installs whatever of the project's packages is missing (Debian/Ubuntu, as root or with sudo),
# adding the i386 architecture first when a 32-bit package is needed. Extra arguments name more
# packages (the packaging command's tools).
qd_ensure_packages() {
    local missing i386
    missing="$(qd_missing_packages $QD_PACKAGES "$@")"
    i386="$(qd_missing_packages $QD_PACKAGES_I386)"
    [ -z "$missing$i386" ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if [ -n "$i386" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        qd_log "adding the i386 architecture for Wine's 32-bit loader"
        $sudo dpkg --add-architecture i386
    fi
    qd_log "installing:" $missing $i386
    qd_quiet "apt-get update" $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    qd_quiet "installing the packages" $sudo env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends $missing $i386
}

# Wine's 32-bit loader. Some kernels refuse 32-bit executables ("Exec format error"); Debian's
# `wine` still picks this loader once wine32 is installed, and then no Wine command starts at all.
QD_WINE32_LOADER=/usr/lib/wine/wine
QD_WINE64_LOADER=/usr/lib/wine/wine64

# Succeeds when the loader $1 starts on this machine; otherwise prints why not.
qd_loader_runs() {
    local out
    if [ ! -e "$1" ]; then echo "$1 is missing"; return 1; fi
    if out="$("$1" --version 2>&1 </dev/null)"; then return 0; fi
    echo "$1 --version: $(printf '%s' "$out" | tail -n 1 | sed "s|^.*$1: ||")"
    return 1
}

# Decides once whether this machine runs 32-bit Windows programs (QD_CAN_RUN_32BIT=1 or 0, the
# reason in QD_NO_32BIT_WHY). Where it cannot, every Wine command of the scripts and of the tests
# they start goes through the 64-bit loader: scripts/wine64-only comes first on PATH (`wine`, and
# `wine-stable`, which wineboot, reg and msiexec call), and WINELOADER names the loader for the
# programs Wine itself starts. QD_NO_32BIT=1 takes that road on any machine (the tests use it).
qd_choose_wine() {
    local why
    QD_CAN_RUN_32BIT=1 QD_NO_32BIT_WHY=""
    if [ "${QD_NO_32BIT:-0}" = 1 ]; then
        QD_CAN_RUN_32BIT=0 QD_NO_32BIT_WHY="QD_NO_32BIT=1 asks to run no 32-bit program"
    elif ! why="$(qd_loader_runs "$QD_WINE32_LOADER")"; then
        QD_CAN_RUN_32BIT=0 QD_NO_32BIT_WHY="$why"
    fi
    if [ "$QD_CAN_RUN_32BIT" = 0 ]; then
        export PATH="$QD_ROOT/scripts/wine64-only:$PATH" WINELOADER="$QD_WINE64_LOADER"
    fi
    export QD_CAN_RUN_32BIT QD_NO_32BIT_WHY
}

# The sentence every script says about a machine without 32-bit programs.
qd_no_32bit_message() {
    echo "this machine cannot run 32-bit programs ($QD_NO_32BIT_WHY)"
}

# The road of the run and benchmark commands, which run the 64-bit programs on any machine: the
# packages, Wine's loader (said where 32-bit programs cannot run), the 64-bit build.
qd_setup_x64() {
    qd_ensure_packages
    qd_choose_wine
    [ "$QD_CAN_RUN_32BIT" = 1 ] || qd_log "$(qd_no_32bit_message): the 64-bit programs run through Wine's 64-bit loader"
    local start
    start=$(date +%s)
    qd_build x64
    qd_log "built x64 in $(( $(date +%s) - start )) s"
}

# Configures and builds one architecture: x64 (default) or x86; further arguments name the targets
# to build (all by default).
qd_build() {
    local arch="${1:-x64}" toolchain=mingw64
    [ "$arch" = x86 ] && toolchain=mingw32
    local dir="$QD_ROOT/build/$arch"
    # The 32-bit build's tests also drive the 64-bit programs (clients and servers of the two
    # architectures calling each other).
    local peer=""
    [ "$arch" = x86 ] && peer="-DQD_PEER_BUILD=$QD_ROOT/build/x64"
    qd_quiet "configuring the $arch build" cmake -S "$QD_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release $peer \
        -DCMAKE_TOOLCHAIN_FILE="$QD_ROOT/cmake/toolchain-$toolchain.cmake"
    shift || true
    # The compiler's messages stay on standard error.
    QD_STEP="building the $arch build"
    cmake --build "$dir" -j"$(nproc)" ${1:+--target "$@"} >/dev/null
    QD_STEP=""
}

# Builds the Windows Installer package of one architecture ($1: x64 or x86) from its build ($2) into
# the folder $3, as QDemo-<version>-<arch>.msi, and prints its path. The version is the programs'
# own, from their version resource ($4 overrides it: the tests make an older package). Further
# arguments are wixl variables (NAME=VALUE: the tests' TestFailures=1).
qd_build_msi() {
    local arch="$1" build="$2" out="$3" version="${4:-}" files_version
    shift 3; shift || true
    files_version="$(python3 "$QD_ROOT/installer/exe_version.py" \
        "$build/server/QDSERVER.EXE" "$build/client/QDCLIENT.EXE")" || return 1
    [ -n "$version" ] || version="$files_version"
    mkdir -p "$out"
    local msi define defines=()
    msi="$(cd "$out" && pwd)/QDemo-$version-$arch.msi"
    for define in "$@"; do defines+=(-D "$define"); done
    # wixl finds the files relative to the folder it runs in.
    (cd "$build" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D TestFailures=0 "${defines[@]}" -o "$msi" \
        "$QD_ROOT/installer/qdemo.wxs") || return 1
    # What wixl cannot say, written into its tables:
    local table query
    table="$(mktemp -d)"
    # - It leaves this version itself out of the major upgrade's range (it ignores IncludeMaximum);
    #   with it (bit 512, the end included), a package of the same version replaces the installed
    #   one instead of adding a second entry.
    msiinfo export "$msi" Upgrade |
        awk -F'\t' 'BEGIN { OFS = "\t" } $7 ~ /^WIX_UPGRADE_DETECTED/ { $5 += 512 } { print }' >"$table/Upgrade.idt"
    msibuild "$msi" -i "$table/Upgrade.idt" || { rm -rf "$table"; return 1; }
    rm -rf "$table"
    # - The programs' version and language (their version resource, U.S. English), without which
    #   Windows Installer treats them as unversioned files (hash and date rules); a versioned file
    #   has no hash.
    # - Custom-action types: a rollback action is deferred into the rollback script (wixl drops
    #   Execute="rollback": +1024 in the script, +256 rollback), and only actions in the script
    #   may run without impersonation (wixl sets NoImpersonate, 2048, on immediate ones too).
    while IFS= read -r query; do
        msibuild "$msi" -q "$query" || return 1
    done < <(
        msiinfo export "$msi" File | tr -d '\r' | awk -F'\t' -v v="$files_version" \
            'NR > 3 && toupper($3) ~ /\.(EXE|DLL)$/ {
                 printf "UPDATE File SET Version = '\''%s'\'', Language = '\''1033'\'' WHERE File = '\''%s'\''\n", v, $1
                 printf "DELETE FROM MsiFileHash WHERE File_ = '\''%s'\''\n", $1 }'
        msiinfo export "$msi" CustomAction | tr -d '\r' | awk -F'\t' \
            'NR > 3 { type = $2
                     if ($1 ~ /^Rollback/ && int(type / 1024) % 2 == 0) type += 1024 + 256
                     if (int(type / 1024) % 2 == 0 && int(type / 2048) % 2 == 1) type -= 2048
                     if (type != $2) printf "UPDATE CustomAction SET Type = %d WHERE Action = '\''%s'\''\n", type, $1 }'
    )
    echo "$msi"
}

# Wine without its debug chatter (unless the caller chose its channels: the checked run's heap
# warnings reach the scripts that source this too), without the Mono and Gecko installers, and
# without mirroring Start-menu shortcuts into the Unix desktop's menus (files in the user's home).
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A fresh prefix in $1. A crash ends the process at once instead of waiting in Wine's debugger.
qd_make_prefix() {
    export WINEPREFIX="$1"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    qd_quiet "making the Wine prefix (wineboot)" wineboot -i
    # HKLM\Software has a 64-bit and a 32-bit view; crashes of both kinds of program must end.
    local view
    for view in /reg:64 /reg:32; do
        qd_quiet "setting up the prefix (crashes end)" \
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f $view
        qd_quiet "setting up the prefix (crashes end)" \
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f $view
    done
    # Every program runs in a Wine desktop window: it draws frames and captions without a window
    # manager, and hiding a window does not wait for one.
    qd_quiet "setting up the prefix (desktop)" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
    qd_quiet "setting up the prefix (desktop)" \
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${QD_DESKTOP_SIZE:-1024x768}" /f
    wineserver -w
}

# Starts a virtual X display unless $DISPLAY already works (or QD_VIRTUAL_DISPLAY=1 forces one).
qd_start_display() {
    if [ "${QD_VIRTUAL_DISPLAY:-0}" != 1 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        qd_log "using display $DISPLAY"
        return 0
    fi
    local n=$(( 90 + RANDOM % 100 ))
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QD_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    qd_log "virtual display $DISPLAY"
}

# Ends every Wine process of the prefix and the virtual display, if we started one.
qd_cleanup() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
    [ -n "${QD_XVFB_PID:-}" ] && kill "$QD_XVFB_PID" >/dev/null 2>&1
    return 0
}

# Keeps the wineserver and the Wine desktop alive between programs, so each program starts in a
# fraction of a second instead of bringing them up and down again.
qd_keep_prefix_warm() {
    wineserver -p >/dev/null 2>&1
    (wine explorer "/desktop=Default,${QD_DESKTOP_SIZE:-1024x768}" </dev/null >/dev/null 2>&1 &)
    sleep 1
}
