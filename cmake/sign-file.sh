#!/bin/sh
# Signs a program in place with an Authenticode signature (SHA-256): into a
# temporary file, renamed over the program once complete. It checks the
# identity with openssl first, since osslsigncode signs with an expired
# certificate too. On any failure it deletes the temporary files, the
# program and the DISCARD files (the other programs the build signs), so
# that no unsigned or half-signed program stays, and names the option at
# fault. The password is read from a file or the environment and piped to
# the tools; it never appears on a command line.
# usage: sign-file.sh --osslsigncode=PATH --openssl=PATH
#            (--pkcs12=FILE | --cert=FILE --key=FILE)
#            [--password-file=FILE | --password-env=NAME]
#            [--timestamp-url=URL] [--time=SECONDS] FILE [DISCARD...]
set -eu

osslsigncode='' openssl='' pkcs12='' cert='' key='' password_file='' password_env='' timestamp_url='' time=''
while [ $# -gt 0 ]; do
    case $1 in
    --osslsigncode=*) osslsigncode=${1#*=} ;;
    --openssl=*) openssl=${1#*=} ;;
    --pkcs12=*) pkcs12=${1#*=} ;;
    --cert=*) cert=${1#*=} ;;
    --key=*) key=${1#*=} ;;
    --password-file=*) password_file=${1#*=} ;;
    --password-env=*) password_env=${1#*=} ;;
    --timestamp-url=*) timestamp_url=${1#*=} ;;
    --time=*) time=${1#*=} ;;
    --*) echo "sign-file.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
    shift
done
file=$1
shift
tmp=$file.signing
cert_pem=$file.signing.pem
log=$file.signing.log
failure=""
trap 'rm -f -- "$tmp" "$cert_pem" "$log" "$file"; exit 130' INT TERM HUP

# Without a password source the identity is opened with an empty password.
passin=stdin
[ -n "$password_file$password_env" ] || passin=pass:

# The password on standard output, for the tools' standard input.
password() {
    if [ -n "$password_file" ]; then cat -- "$password_file"
    elif [ -n "$password_env" ]; then printenv "$password_env"
    fi
}

# What a password that does not open the identity blames.
wrong_password() {
    if [ -n "$password_file" ]; then echo "KEYSETUP_SIGN_PASSWORD_FILE: wrong password for $1"
    elif [ -n "$password_env" ]; then echo "KEYSETUP_SIGN_PASSWORD_ENV: wrong password for $1"
    else echo "KEYSETUP_SIGN_PASSWORD_FILE or KEYSETUP_SIGN_PASSWORD_ENV: $1 needs a password"
    fi
}

check_password_source() {
    if [ -n "$password_file" ] && [ ! -r "$password_file" ]; then
        failure="KEYSETUP_SIGN_PASSWORD_FILE: cannot read $password_file"
    elif [ -n "$password_env" ] && ! printenv "$password_env" >/dev/null; then
        failure="KEYSETUP_SIGN_PASSWORD_ENV: the environment variable $password_env is not set where the build runs"
    fi
    [ -z "$failure" ]
}

# Opens the PKCS#12 file with the password and writes its certificate.
check_pkcs12() {
    identity_option=KEYSETUP_SIGN_PKCS12 identity_names=KEYSETUP_SIGN_PKCS12
    # A PKCS#12 file is a DER sequence that starts with version 3.
    if ! "$openssl" asn1parse -inform DER -in "$pkcs12" 2>/dev/null | sed -n 2p | grep -q 'INTEGER *:03$'; then
        failure="KEYSETUP_SIGN_PKCS12: $pkcs12 is not a readable PKCS#12 file"
    elif ! password | "$openssl" pkcs12 -legacy -in "$pkcs12" -passin "$passin" -nokeys -clcerts -out "$cert_pem" 2>"$log"; then
        failure=$(wrong_password "KEYSETUP_SIGN_PKCS12 $pkcs12")
    fi
    [ -z "$failure" ]
}

# Reads the certificate (PEM or DER) and opens the key with the password.
check_pair() {
    identity_option=KEYSETUP_SIGN_CERT identity_names="KEYSETUP_SIGN_CERT and KEYSETUP_SIGN_KEY"
    if ! "$openssl" x509 -in "$cert" -out "$cert_pem" 2>/dev/null &&
        ! "$openssl" x509 -inform DER -in "$cert" -out "$cert_pem" 2>/dev/null; then
        failure="KEYSETUP_SIGN_CERT: $cert is not a readable certificate"
    elif ! password | "$openssl" pkey -in "$key" -passin "$passin" -noout 2>"$log"; then
        if grep -q ENCRYPTED "$key"; then
            failure=$(wrong_password "KEYSETUP_SIGN_KEY $key")
        else
            failure="KEYSETUP_SIGN_KEY: $key is not a readable private key"
        fi
    fi
    [ -z "$failure" ]
}

check_not_expired() {
    if ! "$openssl" x509 -in "$cert_pem" -noout -checkend 0 >/dev/null; then
        failure="$identity_option: the certificate has expired ($("$openssl" x509 -in "$cert_pem" -noout -enddate))"
    fi
    [ -z "$failure" ]
}

sign() {
    if [ -n "$pkcs12" ]; then set -- -pkcs12 "$pkcs12"; else set -- -certs "$cert" -key "$key"; fi
    [ "$passin" = stdin ] && set -- "$@" -readpass -
    [ -n "$timestamp_url" ] && set -- "$@" -ts "$timestamp_url"
    [ -n "$time" ] && set -- "$@" -time "$time"
    if ! password | "$osslsigncode" sign -h sha256 "$@" -in "$file" -out "$tmp" >"$log" 2>&1; then
        failure="osslsigncode failed with $identity_names${timestamp_url:+ and KEYSETUP_SIGN_TIMESTAMP_URL $timestamp_url}"
    elif ! chmod --reference="$file" "$tmp" || ! mv -f -- "$tmp" "$file"; then
        failure="cannot replace $file"
    fi
    [ -z "$failure" ]
}

# The identity is checked before the program: when another program's signing
# fails first, it deletes this one, and the identity is still what to blame.
check_built() {
    [ -f "$file" ] || failure="$file was not built"
    [ -z "$failure" ]
}

if check_password_source &&
    if [ -n "$pkcs12" ]; then check_pkcs12; else check_pair; fi &&
    check_not_expired && check_built && sign; then
    rm -f -- "$cert_pem" "$log"
    exit 0
fi
[ -s "$log" ] && sed 's/^/    /' "$log" >&2
rm -f -- "$tmp" "$cert_pem" "$log" "$file" "$@"
echo "error: $file not signed, deleted: $failure" >&2
exit 1
