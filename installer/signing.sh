# Code signing of the programs, the custom-action DLL and the packages, with osslsigncode
# (SHA-256). Source after scripts/env.sh. The certificate comes from the environment:
#   QD_SIGN_PKCS12         a PKCS#12 file with the code-signing certificate and its key,
#   QD_SIGN_PASSWORD       its password,
#   QD_SIGN_TIMESTAMP_URL  a timestamp server (RFC 3161), used when it answers,
#   QD_SIGN_CAFILE         what verification trusts (default: the system's CA certificates).
# Without QD_SIGN_PKCS12, a throwaway self-signed certificate is made for the build, so that the
# signing road always runs; its name says what it is, and only it verifies its signatures.

# Makes or reads the certificate into the folder $1; sets QD_SIGN_PKCS12, QD_SIGN_PASSFILE and
# QD_SIGN_CAFILE.
qd_signing_certificate() {
    local dir="$1"
    mkdir -p "$dir"
    QD_SIGN_PASSFILE="$dir/password"
    (umask 077 && : >"$QD_SIGN_PASSFILE")
    if [ -n "${QD_SIGN_PKCS12:-}" ]; then
        printf '%s' "${QD_SIGN_PASSWORD:-}" >"$QD_SIGN_PASSFILE"
        QD_SIGN_CAFILE="${QD_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}"
        return 0
    fi
    openssl rand -hex 16 >"$QD_SIGN_PASSFILE"
    openssl req -x509 -newkey rsa:3072 -sha256 -days 30 -nodes \
        -subj "/O=QDemo/CN=QDemo THROWAWAY test signature - not trusted" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
        -keyout "$dir/throwaway-key.pem" -out "$dir/throwaway-cert.pem" 2>/dev/null || return 1
    openssl pkcs12 -export -inkey "$dir/throwaway-key.pem" -in "$dir/throwaway-cert.pem" \
        -passout file:"$QD_SIGN_PASSFILE" -out "$dir/throwaway.p12" || return 1
    rm -f "$dir/throwaway-key.pem"
    QD_SIGN_PKCS12="$dir/throwaway.p12"
    QD_SIGN_CAFILE="$dir/throwaway-cert.pem"
    qd_log "signing with a throwaway self-signed certificate ($QD_SIGN_PKCS12)"
}

# Signs the file $1 in place (an EXE, a DLL or an MSI).
qd_sign() {
    local file="$1" args
    args=(sign -pkcs12 "$QD_SIGN_PKCS12" -readpass "$QD_SIGN_PASSFILE" -h sha256 -n QDemo -in "$file" -out "$file.signed")
    rm -f "$file.signed"
    if [ -n "${QD_SIGN_TIMESTAMP_URL:-}" ]; then
        osslsigncode "${args[@]}" -ts "$QD_SIGN_TIMESTAMP_URL" >/dev/null 2>&1 ||
            { qd_log "no timestamp from $QD_SIGN_TIMESTAMP_URL: $(basename "$file") signed without"; rm -f "$file.signed"; }
    fi
    [ -f "$file.signed" ] || osslsigncode "${args[@]}" >/dev/null || return 1
    mv "$file.signed" "$file"
}

# Verifies the signature of $1 against QD_SIGN_CAFILE.
qd_verify_signature() {
    osslsigncode verify -CAfile "$QD_SIGN_CAFILE" -in "$1" >/dev/null 2>&1
}

# Like qd_build_msi, but the programs and the custom-action DLL are signed copies (in $3/signed-<arch>)
# and so is the package. Prints the package's path.
qd_build_signed_msi() {
    local arch="$1" build="$2" out="$3" stage file msi
    stage="$out/signed-$arch"
    for file in server/QDSERVER.EXE client/QDCLIENT.EXE installer/qd_setup_actions.dll; do
        mkdir -p "$stage/$(dirname "$file")"
        cp "$build/$file" "$stage/$file" && qd_sign "$stage/$file" || return 1
    done
    msi="$(qd_build_msi "$arch" "$stage" "$out")" && qd_sign "$msi" && echo "$msi"
}
