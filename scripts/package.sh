#!/usr/bin/env bash
# The packaging command: builds both architectures (Release) and, from each, its Windows Installer
# package in out/: QDemo-<version>-x64.msi for 64-bit Windows and QDemo-<version>-x86.msi for
# 32-bit Windows, the version being the programs' own (their version resource).
set -euo pipefail
source "$(dirname "$0")/env.sh"

qd_ensure_packages $QD_PACKAGING_PACKAGES
OUT="$QD_ROOT/out"
for arch in x64 x86; do
    start=$(date +%s)
    qd_build "$arch" QDSERVER QDCLIENT qd_setup_actions >/dev/null
    msi="$(qd_build_msi "$arch" "$QD_ROOT/build/$arch" "$OUT")"
    qd_log "built ${msi#"$QD_ROOT"/} ($(stat -c %s "$msi") bytes) in $(( $(date +%s) - start )) s"
done
