#!/usr/bin/env bash
# The packaging command: builds both architectures (Release) and, from each, its Windows Installer
# package in out/: QDemo-<version>-x64.msi for 64-bit Windows and QDemo-<version>-x86.msi for
# 32-bit Windows, the version being the programs' own (their version resource). The programs, the
# custom-action DLL and the packages are signed (installer/signing.sh: your certificate through
# QD_SIGN_PKCS12 and QD_SIGN_PASSWORD, else a throwaway self-signed one in out/signing/).
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly
source "$QD_ROOT/installer/signing.sh"

qd_ensure_packages $QD_PACKAGING_PACKAGES
OUT="$QD_ROOT/out"
qd_signing_certificate "$OUT/signing"
for arch in x64 x86; do
    start=$(date +%s)
    qd_build "$arch" QDSERVER QDCLIENT qd_setup_actions
    msi="$(qd_build_signed_msi "$arch" "$QD_ROOT/build/$arch" "$OUT")"
    qd_log "built and signed ${msi#"$QD_ROOT"/} ($(stat -c %s "$msi") bytes) in $(( $(date +%s) - start )) s"
done
