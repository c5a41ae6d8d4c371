#!/usr/bin/env bash
# The packaging command: builds both architectures (Release) and, from each, its Windows Installer
# package in out/: QDemo-<version>-x64.msi for 64-bit Windows and QDemo-<version>-x86.msi for
# 32-bit Windows, the version being the programs' own (their version resource). The programs, the
# custom-action DLL and the packages are signed (installer/signing.sh: your certificate through
# QD_SIGN_PKCS12 and QD_SIGN_PASSWORD, else a throwaway self-signed one in out/signing/).
# Beside each package, the architecture's SDK (the framework for servers of one's own) as
# QDemo-SDK-<version>-<arch>.zip: the build's `cmake --install`, with a README of its own.
set -euo pipefail
source "$(dirname "$0")/env.sh"
qd_fail_loudly
source "$QD_ROOT/installer/signing.sh"

qd_ensure_packages $QD_PACKAGING_PACKAGES
OUT="$QD_ROOT/out"
qd_signing_certificate "$OUT/signing"
for arch in x64 x86; do
    start=$(date +%s)
    qd_build "$arch" QDSERVER QDCLIENT qd_setup_actions platform platform_owners own_thread platform_main
    msi="$(qd_build_signed_msi "$arch" "$QD_ROOT/build/$arch" "$OUT")"
    qd_log "built and signed ${msi#"$QD_ROOT"/} ($(stat -c %s "$msi") bytes) in $(( $(date +%s) - start )) s"
    sdk="$(basename "$msi" ".msi")"
    sdk="QDemo-SDK-${sdk#QDemo-}"
    stage="$(mktemp -d)"
    qd_quiet "installing the $arch SDK" cmake --install "$QD_ROOT/build/$arch" --prefix "$stage/$sdk"
    rm -f "$OUT/$sdk.zip"
    (cd "$stage" && cmake -E tar cf "$OUT/$sdk.zip" --format=zip "$sdk")
    qd_log "wrote out/$sdk.zip ($(stat -c %s "$OUT/$sdk.zip") bytes, $(find "$stage/$sdk" -type f | wc -l) files)"
    rm -rf "$stage"
done
