#!/bin/sh
# Signed builds, checked on the build host. A throwaway CA and code-signing
# identity made here sign TREE, a build tree whose objects are compiled
# already (the vendor check's placeholder build, from a copy of the
# sources; password from the environment, fixed signing time); its five
# programs and the three copies keysetup.exe embeds verify against that
# CA, carry SHA-256 digests, keep their PE header and imports, are listed
# with their signed hashes, and are the unsigned programs plus a
# signature; the listing names their signer. A wrong password, a missing,
# an unreadable and an expired identity each fail naming the option and
# leave no program behind. WORK_DIR/pki/ca.pem and TREE/bin stay for the
# Wine test (signing_wow64).
# usage: check-signing.sh SOURCE_DIR WORK_DIR TREE MAIN_BIN_DIR OBJDUMP32 OBJDUMP64
#            KEYSETUP_IMPORTS QV_DRVUNI_IMPORTS DRVINST64_IMPORTS KEYCHECK_IMPORTS
#   (the DLLs each program may import, comma-separated, as pe_header_* has them)
set -eu
src=$1 work=$2 signed=$3 main_bin=$4 objdump32=$5 objdump64=$6
keysetup_imports=$(echo "$7" | tr , ' ') uninstaller_imports=$(echo "$8" | tr , ' ') drvinst64_imports=$(echo "$9" | tr , ' ')
keycheck_imports=$(echo "${10}" | tr , ' ')
pki=$work/pki scratch=$work/scratch
bin=$signed/bin
password='throwaway signing password'
signing_time=1700000000
programs='keysetup.exe QV_DRVUNI.exe DrvInst64.exe DrvInstA64.exe keycheck.exe'
rm -rf "$work"
mkdir -p "$pki" "$scratch"

. "$src/tests/support/log_says.sh"

fail() {
    echo "FAIL: $*"
    exit 1
}

# The CA, a code-signing certificate for a century and one that ends before
# it starts (expired whatever the date), both for the same key.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 36500 \
    -subj "/CN=keysetup test CA" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
    -subj "/CN=keysetup test signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$pki/ext.cnf"
issue() {
    openssl x509 -req -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -set_serial "$2" \
        -days "$3" -extfile "$pki/ext.cnf" -out "$pki/$1" 2>/dev/null
}
issue signer.pem 1 36500
issue expired.pem 2 -1
printf '%s\n' "$password" >"$pki/password"
printf 'not the password\n' >"$pki/wrong-password"
printf 'not a PKCS#12 file\n' >"$pki/unreadable.p12"
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -passout "file:$pki/password" \
    -out "$pki/signer.p12"

test -s "$signed/CMakeCache.txt" || fail "no build tree in $signed (the vendor directory check makes it)"

# The tree keeps its sources, toolchain and options; only signing changes.
configure() {
    cmake "$@" "$signed"
}

verify() {
    osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" >"$work/verify.log" 2>&1 || { cat "$work/verify.log"; fail "$1 does not verify"; }
    grep -q '^Message digest algorithm *: SHA256' "$work/verify.log" || fail "$1: digest is not SHA-256"
}

# A missing identity fails the configure; a wrong password the build, with
# no program left in its bin directory: both kinds of signing step (after a
# target's link, and in the command that builds a helper) fail, the build
# kept going past the first. The tree's unsigned programs go first, so that
# none of them can pass for one left behind.
for program in $programs; do
    rm -f "$bin/$program"
done
if configure -DKEYSETUP_SIGN_PKCS12="$pki/missing.p12" >"$work/missing.log" 2>&1; then
    fail "configure accepted a missing PKCS#12 file"
fi
log_says 'KEYSETUP_SIGN_PKCS12: .*/missing.p12' "$work/missing.log" || { cat "$work/missing.log"; fail "missing identity not named"; }
echo "missing identity refused by the configure, naming KEYSETUP_SIGN_PKCS12"
configure -DKEYSETUP_SIGN_PKCS12="$pki/signer.p12" -DKEYSETUP_SIGN_PASSWORD_FILE="$pki/wrong-password" \
    >"$work/wrong.log" 2>&1 || { cat "$work/wrong.log"; fail "configure with a wrong password file"; }
if cmake --build "$signed" --target QV_DRVUNI drvinsta64 -j2 -- -k 0 >>"$work/wrong.log" 2>&1; then
    fail "built with a wrong password"
fi
for program in QV_DRVUNI.exe DrvInstA64.exe; do
    log_says "error: [^ ]*/$program not signed, deleted: KEYSETUP_SIGN_PASSWORD_FILE: wrong password" "$work/wrong.log" ||
        { cat "$work/wrong.log"; fail "wrong password not named for $program"; }
done
for program in $programs; do
    ! ls "$bin/$program"* 2>/dev/null || fail "$program left in bin after a wrong password"
done
# A program that another failed signing has deleted first still names the
# password, whichever of the two parallel steps gets there first.
! sh "$src/cmake/sign-file.sh" --osslsigncode=osslsigncode --openssl=openssl --pkcs12="$pki/signer.p12" \
    --password-file="$pki/wrong-password" "$bin/QV_DRVUNI.exe" >"$work/deleted.log" 2>&1 || fail "signed a deleted program"
log_says "not signed, deleted: KEYSETUP_SIGN_PASSWORD_FILE: wrong password" "$work/deleted.log" ||
    { cat "$work/deleted.log"; fail "a deleted program hides the wrong password"; }
echo "wrong password: build failed naming KEYSETUP_SIGN_PASSWORD_FILE, no program in its bin"

# The signed build.
KEYSETUP_TEST_SIGN_PASSWORD=$password
export KEYSETUP_TEST_SIGN_PASSWORD
configure -DKEYSETUP_SIGN_PKCS12="$pki/signer.p12" -DKEYSETUP_SIGN_PASSWORD_FILE= \
    -DKEYSETUP_SIGN_PASSWORD_ENV=KEYSETUP_TEST_SIGN_PASSWORD \
    -DKEYSETUP_SIGN_TIME=$signing_time >"$work/signed.log" 2>&1 || { cat "$work/signed.log"; fail "configure the signed build"; }
cmake --build "$signed" --target keysetup keycheck -j2 >>"$work/signed.log" 2>&1 || { cat "$work/signed.log"; fail "signed build"; }
unset KEYSETUP_TEST_SIGN_PASSWORD
! grep -rqF "$password" "$signed" "$work/signed.log" || fail "the password is written in the build tree or its output"

# What keysetup.exe embeds is the signed programs, and the listing hashes them.
extract() {
    python3 "$src/tests/support/pe_resource.py" "$bin/keysetup.exe" "$1" "$2" >"$scratch/embedded-$3" ||
        fail "extract $1 $2"
    cmp "$scratch/embedded-$3" "$bin/$3" || fail "keysetup.exe embeds another $3 than the signed one"
    verify "$scratch/embedded-$3"
    grep -qx "$1 $2 $3 $(wc -c <"$bin/$3") $(sha256sum "$bin/$3" | cut -d' ' -f1) built | not checked; $signed_by" \
        "$bin/keysetup.payload.txt" || { cat "$bin/keysetup.payload.txt"; fail "$3 not listed with its signed size, hash and signer"; }
}
signed_by='signed by Common Name: keysetup test signer'
for program in $programs; do
    verify "$bin/$program"
done
grep -qx "# signing: $signed_by" "$bin/keysetup.payload.txt" || fail "listing header does not name the signer"
extract UNINSTALL 204 QV_DRVUNI.exe
extract DEV64 196 DrvInst64.exe
extract DEVA64 209 DrvInstA64.exe
echo "keysetup.exe, QV_DRVUNI.exe, DrvInst64.exe, DrvInstA64.exe, keycheck.exe and the three embedded copies verify (SHA-256), listed signed"

# Each program checked on its own: a group's status would be its last one's.
pe_ok=1
# shellcheck disable=SC2086
"$src/tests/check_pe.sh" "$objdump32" "$bin/keysetup.exe" i386 $keysetup_imports || pe_ok=0
# shellcheck disable=SC2086
"$src/tests/check_pe.sh" "$objdump32" "$bin/QV_DRVUNI.exe" i386 $uninstaller_imports || pe_ok=0
# shellcheck disable=SC2086
"$src/tests/check_pe.sh" "$objdump64" "$bin/DrvInst64.exe" x86-64 $drvinst64_imports || pe_ok=0
# shellcheck disable=SC2086
"$src/tests/check_pe.sh" "$objdump32" "$bin/keycheck.exe" i386-console $keycheck_imports || pe_ok=0
[ $pe_ok = 1 ] || fail "PE checks of the signed programs"

# Without its signature a program is the unsigned build's, byte for byte:
# the signature changed nothing else (resources, manifest, headers).
# keycheck.exe differs by design: it tables the signed programs' digests.
unsigned() {
    osslsigncode remove-signature -in "$1" -out "$2" >/dev/null 2>&1 || cp "$1" "$2"
}
for program in QV_DRVUNI.exe DrvInst64.exe DrvInstA64.exe; do
    unsigned "$bin/$program" "$scratch/stripped-$program"
    unsigned "$main_bin/$program" "$scratch/main-$program"
    cmp "$scratch/stripped-$program" "$scratch/main-$program" || fail "$program is more than the unsigned program and a signature"
done
echo "QV_DRVUNI.exe, DrvInst64.exe and DrvInstA64.exe without their signature identical to the unsigned build's"

# The same identity as a certificate and key pair, at the same time: the
# same bytes as the build's, so a signed build is reproducible.
cp "$main_bin/QV_DRVUNI.exe" "$scratch/pair.exe"
sign() {
    sh "$src/cmake/sign-file.sh" --osslsigncode="$(command -v osslsigncode)" --openssl="$(command -v openssl)" "$@"
}
sign --cert="$pki/signer.pem" --key="$pki/signer.key" --time=$signing_time "$scratch/pair.exe" ||
    fail "signing with a certificate and key pair"
cmp "$scratch/pair.exe" "$bin/QV_DRVUNI.exe" || fail "the same identity and time gave other bytes"
echo "certificate and key pair at the same signing time: QV_DRVUNI.exe identical to the build's"

# A fault of the identity: signing fails naming OPTION, and deletes the
# program and the other programs named.
expect_refused() {
    option=$1
    shift
    cp "$main_bin/QV_DRVUNI.exe" "$scratch/fault.exe"
    : >"$scratch/other.exe"
    if sign "$@" "$scratch/fault.exe" "$scratch/other.exe" >"$work/fault.log" 2>&1; then
        fail "signed despite a fault of $option"
    fi
    log_says "error: .*$option" "$work/fault.log" || { cat "$work/fault.log"; fail "$option not named"; }
    ! ls "$scratch"/fault.exe* "$scratch/other.exe" 2>/dev/null || fail "a program stayed after a fault of $option"
    echo "refused, naming $option: $(sed -n 's/^error: //p' "$work/fault.log")"
}
expect_refused KEYSETUP_SIGN_PKCS12 --pkcs12="$pki/unreadable.p12" --password-file="$pki/password"
expect_refused KEYSETUP_SIGN_CERT --cert="$pki/expired.pem" --key="$pki/signer.key"

rm -rf "$scratch"
