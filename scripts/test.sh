#!/usr/bin/env bash
# Builds both architectures and runs every test (unit, in-process COM and window tests, desktop
# tests) under Wine for each of them: first the 64-bit build, then the 32-bit one, in one Wine
# prefix (64-bit Wine runs 32-bit programs too) and on a virtual display of this run's own.
# Arguments go to CTest (e.g. -R desktop). QD_ARCHS limits the architectures (QD_ARCHS=x86).
# The run is checked: Wine's heap reports blocks freed twice or written past their end
# (WINEDEBUG=warn+heap), strings are freed at once instead of cached (OANOCACHE=1), and a test
# during which any program prints a heap warning fails the run (QD_HEAP_CHECK=0 runs unchecked).
set -euo pipefail
source "$(dirname "$0")/env.sh"

QD_ARCHS="${QD_ARCHS:-x64 x86}"
qd_ensure_packages $QD_PACKAGING_PACKAGES  # the installer tests build the packages
start=$(date +%s)
for arch in $QD_ARCHS; do qd_build "$arch" >/dev/null; done
qd_log "built $QD_ARCHS in $(( $(date +%s) - start )) s"

QD_TEST_PREFIX="$(mktemp -d /tmp/qd-test-prefix.XXXXXX)"
trap 'qd_cleanup; rm -rf "$QD_TEST_PREFIX"' EXIT
start=$(date +%s)
qd_make_prefix "$QD_TEST_PREFIX"
QD_VIRTUAL_DISPLAY=1 qd_start_display
qd_keep_prefix_warm
qd_log "prefix and display ready in $(( $(date +%s) - start )) s"

# Every program the tests start runs through the checking `wine`; a server that COM starts inherits
# the environment and the output of its client, and is checked with it.
if [ "${QD_HEAP_CHECK:-1}" = 1 ]; then
    export WINEDEBUG=-all,warn+heap OANOCACHE=1
    QD_REAL_WINE="$(command -v wine)"
    QD_HEAP_LOG="$QD_TEST_PREFIX.heap.log"
    export QD_REAL_WINE QD_HEAP_LOG PATH="$QD_ROOT/scripts/heap-checked:$PATH"
    trap 'qd_cleanup; rm -rf "$QD_TEST_PREFIX" "$QD_HEAP_LOG"' EXIT
    qd_log "checked run: WINEDEBUG=$WINEDEBUG OANOCACHE=$OANOCACHE"
fi

# Fails when programs printed heap warnings since the last call, naming the tests.
heap_warnings_seen() {
    [ -s "${QD_HEAP_LOG:-}" ] || return 1
    qd_log "heap warnings ($1), by test:"
    cut -f1 "$QD_HEAP_LOG" | sort | uniq -c | sed 's/^/[qd]   /' >&2
    sed 's/^/[qd]     /' "$QD_HEAP_LOG" | head -10 >&2
    : >"$QD_HEAP_LOG"
}

status=0
for arch in $QD_ARCHS; do
    start=$(date +%s)
    qd_log "testing the $arch build"
    ctest --test-dir "$QD_ROOT/build/$arch" --output-on-failure "$@" || status=1
    heap_warnings_seen "$arch build" && status=1
    qd_log "$arch tests ran in $(( $(date +%s) - start )) s"
done
exit $status
