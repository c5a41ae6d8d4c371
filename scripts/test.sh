#!/usr/bin/env bash
# Builds both architectures and runs every test (unit, in-process COM and window tests, desktop
# tests) under Wine for each of them: first the 64-bit build, then the 32-bit one, in one Wine
# prefix (64-bit Wine runs 32-bit programs too) and on a virtual display of this run's own.
# Arguments go to CTest (e.g. -R desktop). QD_ARCHS limits the architectures (QD_ARCHS=x86).
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

status=0
for arch in $QD_ARCHS; do
    start=$(date +%s)
    qd_log "testing the $arch build"
    ctest --test-dir "$QD_ROOT/build/$arch" --output-on-failure "$@" || status=1
    qd_log "$arch tests ran in $(( $(date +%s) - start )) s"
done
exit $status
