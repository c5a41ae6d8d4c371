#!/usr/bin/env bash
# Builds both architectures and runs every test (unit, in-process COM and window tests, desktop
# tests) under Wine, in a Wine prefix and on a virtual display of this run's own.
set -euo pipefail
source "$(dirname "$0")/env.sh"

qd_ensure_packages
start=$(date +%s)
qd_build x86 >/dev/null   # 32-bit stays clean; its programs are not run (that would need wine32)
qd_build x64 >/dev/null
qd_log "built x86 and x64 in $(( $(date +%s) - start )) s"

QD_TEST_PREFIX="$(mktemp -d /tmp/qd-test-prefix.XXXXXX)"
trap 'qd_cleanup; rm -rf "$QD_TEST_PREFIX"' EXIT
start=$(date +%s)
qd_make_prefix "$QD_TEST_PREFIX"
QD_VIRTUAL_DISPLAY=1 qd_start_display
qd_keep_prefix_warm
qd_log "prefix and display ready in $(( $(date +%s) - start )) s"

start=$(date +%s)
status=0
ctest --test-dir "$QD_ROOT/build/x64" --output-on-failure "$@" || status=$?
qd_log "tests ran in $(( $(date +%s) - start )) s"
exit $status
