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
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        $missing $i386 >/dev/null
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
    cmake -S "$QD_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release $peer \
        -DCMAKE_TOOLCHAIN_FILE="$QD_ROOT/cmake/toolchain-$toolchain.cmake" >/dev/null
    shift || true
    cmake --build "$dir" -j"$(nproc)" ${1:+--target "$@"}
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

# Wine without its debug chatter, without the Mono and Gecko installers, and without mirroring
# Start-menu shortcuts into the Unix desktop's menus (files in the user's home, outside the prefix).
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A fresh prefix in $1. A crash ends the process at once instead of waiting in Wine's debugger.
qd_make_prefix() {
    export WINEPREFIX="$1"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # HKLM\Software has a 64-bit and a 32-bit view; crashes of both kinds of program must end.
    local view
    for view in /reg:64 /reg:32; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f $view >/dev/null 2>&1
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f $view >/dev/null 2>&1
    done
    # Every program runs in a Wine desktop window: it draws frames and captions without a window
    # manager, and hiding a window does not wait for one.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${QD_DESKTOP_SIZE:-1024x768}" /f >/dev/null 2>&1
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
