#!/bin/sh
# The signed build under WOW64, in the prefix WINEPREFIX names (a copy of a
# pristine win64 prefix): keysetup.exe keeps its icon and version
# resources, installs, and the QV_DRVUNI.exe and DrvInst64.exe it writes
# into syswow64 are the signed files and verify against the test CA; the
# registered uninstall command then removes the entry and the manifest and
# keeps both programs, still verifying.
# usage: signing-wine.sh SIGNED_BIN_DIR CA_PEM FOUNDATION_TESTS_EXE
set -eu
bin=$1 ca=$2 foundation_tests=$3
here=$(dirname "$0")
system=$WINEPREFIX/drive_c/windows/syswow64
entry='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\VORevizeRidarorar'
export WINEDEBUG=-all

fail() {
    echo "FAIL: $*"
    exit 1
}

# A Wine run; the skip code of cmake/wine-run.sh (a host that cannot start
# 32-bit programs) skips the test.
wine_skip=77
run() {
    status=0
    "$here/../cmake/wine-run.sh" "$@" </dev/null || status=$?
    [ $status != $wine_skip ] || exit $wine_skip
    [ $status = 0 ] || fail "exit status $status of $*"
}

expect_deployed_signed() {
    for program in QV_DRVUNI.exe DrvInst64.exe; do
        cmp "$system/$program" "$bin/$program" || fail "$system/$program is not the signed build's"
        osslsigncode verify -CAfile "$ca" -in "$system/$program" >/dev/null 2>&1 || fail "$system/$program does not verify"
    done
}

export KEYSETUP_BIN_DIR="Z:$bin"
run "$foundation_tests" '--gtest_filter=Resources.*'
echo "signed programs keep their icon, version and manifest resources"

[ ! -e "$system/QV_DRVUNI.exe" ] || fail "QV_DRVUNI.exe already in a fresh prefix"
run "$bin/keysetup.exe"
expect_deployed_signed
uninstall=$(wine reg query "$entry" /v UninstallString </dev/null | tr -d '\r' | sed -n 's/^ *UninstallString *REG_SZ *//p')
[ -n "$uninstall" ] || fail "no uninstall entry after the install"
echo "signed keysetup.exe installed; deployed QV_DRVUNI.exe and DrvInst64.exe verify; registered: $uninstall"

# shellcheck disable=SC2086 # the registered command: program and option
run $uninstall
! wine reg query "$entry" </dev/null >/dev/null 2>&1 || fail "uninstall entry left"
[ ! -e "$system/QV_DRVUNI.exe.manifest" ] || fail "manifest left"
expect_deployed_signed
echo "registered uninstall removed the entry and the manifest; the kept programs still verify"
