#!/usr/bin/env bash
# QDSERVER and QDCLIENT as Windows expects its programs: Remote Desktop aware, subsystem version
# 6.0 (the 32-bit default is 4.0), only system DLLs imported, no debug sections in a Release build,
# and a manifest where Windows reads it (resource type 24, name 1) that asks for no elevation, names
# Windows 7 to 11, common controls 6 and per-monitor DPI awareness with a system-aware fallback.
# Usage: binaries_test.sh OBJDUMP CONFIG PROGRAM...
set -u
OBJDUMP="$1" CONFIG="$2"
shift 2
fail() { echo "FAIL: $*" >&2; exit 1; }

# Windows' own DLLs (and the C runtime that every Windows ships); anything else would have to lie
# beside the program.
ALLOWED="advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll"
MANIFEST=('requestedExecutionLevel level="asInvoker"'
          'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"'   # Windows 7
          'supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"'   # Windows 8
          'supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"'   # Windows 8.1
          'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'   # Windows 10 and 11
          'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
          '>true</dpiAware>'
          '>PerMonitorV2, System</dpiAwareness>')

for program in "$@"; do
    name="$(basename "$program")"
    headers="$("$OBJDUMP" -p "$program")" || fail "$name: objdump"
    grep -q 'TERMINAL_SERVICE_AWARE' <<<"$headers" || fail "$name is not Remote Desktop aware"
    [ "$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$headers").$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$headers")" = 6.0 ] ||
        fail "$name: subsystem version is not 6.0"
    for dll in $(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers"); do
        [[ " $ALLOWED " == *" $dll "* ]] || fail "$name imports $dll, which is not Windows' own"
    done
    if [ "$CONFIG" = Release ]; then
        "$OBJDUMP" -h "$program" | grep -q '\.debug' && fail "$name (Release) carries debug sections"
    fi
    text="$(python3 "$(dirname "$0")/pe_manifest.py" "$program")" || fail "$name has no manifest that Windows reads"
    for item in "${MANIFEST[@]}"; do
        grep -qF "$item" <<<"$text" || fail "$name: the manifest lacks $item"
    done
    echo "ok: $name ($(stat -c %s "$program") bytes)"
done
