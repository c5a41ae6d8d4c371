#!/usr/bin/env bash
# The package of the build under test, checked without Windows:
#   lint     its tables against the rules of Windows Installer and its validators (msi_lint.py);
#   signing  the packaging road's signatures (programs, custom-action DLL, package) verify against
#            the signing certificate (a throwaway one unless QD_SIGN_PKCS12 names one), and a
#            changed byte breaks each of them.
# Usage: package_test.sh CASE BUILD_DIR   (QD_ARCH: the architecture of the build)
set -u
CASE="$1" BUILD="$2"
source "$(dirname "$0")/../../scripts/env.sh"
source "$QD_ROOT/installer/signing.sh"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
ARCH="${QD_ARCH:-x64}"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A copy of $1 with the byte at offset $2 inverted, as $1.changed.
changed_copy() {
    python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[int(sys.argv[2])] ^= 0xFF
open(sys.argv[1] + ".changed", "wb").write(b)' "$1" "$2"
}

case "$CASE" in
lint)
    msi="$(qd_build_msi "$ARCH" "$BUILD" "$WORK")" || fail "building the package"
    python3 "$(dirname "$0")/msi_lint.py" "$msi" || fail "the package breaks the rules above"
    ;;
signing)
    qd_signing_certificate "$WORK/certificate" 2>/dev/null || fail "no signing certificate"
    msi="$(qd_build_signed_msi "$ARCH" "$BUILD" "$WORK/out")" || fail "building the signed package"
    for file in "$WORK/out/signed-$ARCH"/*/* "$msi"; do
        name="$(basename "$file")"
        qd_verify_signature "$file" || fail "$name: the signature does not verify"
        if [[ "$file" == *.msi ]]; then
            # A byte of the embedded cabinet (a hashed stream; free sectors of the file are not).
            at="$(grep -obUaP 'MSCF' "$file" | head -1 | cut -d: -f1)"
            [ -n "$at" ] || fail "$name: no cabinet"
            at=$((at + 100))
        else
            at=$(( $(stat -c %s "$file") / 2 ))
        fi
        changed_copy "$file" "$at"
        qd_verify_signature "$file.changed" && fail "$name: a byte changed at $at and the signature still verifies"
        echo "ok: $name is signed, and a changed byte breaks its signature"
    done
    ;;
*) fail "no case $CASE" ;;
esac
