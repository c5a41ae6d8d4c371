#!/usr/bin/env bash
# Builds both architectures and runs every test (unit, in-process COM and window tests, desktop
# tests) under Wine for each of them: first the 64-bit build, then the 32-bit one, in one Wine
# prefix (64-bit Wine runs 32-bit programs too) and on a virtual display of this run's own.
# Arguments go to CTest (e.g. -R desktop). QD_ARCHS limits the architectures (QD_ARCHS=x86).
# A machine that cannot run 32-bit programs builds both and tests the 64-bit one, and says so at the
# start and the end. QD_BUILD=0 tests the builds as they are.
# The run is checked: Wine's heap reports blocks freed twice or written past their end
# (WINEDEBUG=warn+heap), strings are freed at once instead of cached (OANOCACHE=1), and a test
# during which any program prints a heap warning fails the run (QD_HEAP_CHECK=0 runs unchecked).
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly

qd_ensure_packages $QD_PACKAGING_PACKAGES  # the installer tests build the packages
qd_choose_wine
# Both architectures are built wherever they can be; only those whose programs run here are tested.
skipped=""
if [ "$QD_CAN_RUN_32BIT" = 1 ]; then
    QD_ARCHS="${QD_ARCHS:-x64 x86}" built="${QD_ARCHS:-x64 x86}"
elif [[ " ${QD_ARCHS:-} " == *" x86 "* ]]; then
    qd_log "QD_ARCHS=$QD_ARCHS asks for the 32-bit suite, but $(qd_no_32bit_message)"
    exit 1
elif [ -n "${QD_ARCHS:-}" ]; then
    built="$QD_ARCHS"
else
    QD_ARCHS=x64 built="x64 x86"
    skipped="$(qd_no_32bit_message): the x86 suite was not run (with it its cross-architecture
cases and the x86 package's installation); the x86 build was compiled, not run"
    qd_log "$skipped"
fi
start=$(date +%s)
if [ "${QD_BUILD:-1}" = 1 ]; then
    for arch in $built; do qd_build "$arch"; done
    qd_log "built $built in $(( $(date +%s) - start )) s"
fi

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
# Said again last, where a reader of the run's end looks.
[ -n "$skipped" ] && qd_log "NOT RUN: $skipped"
qd_log "$([ $status = 0 ] && echo "every test run passed ($QD_ARCHS)" || echo "FAILED ($QD_ARCHS)")"
exit $status
