#!/bin/sh
# DrvInstA64.exe as shipped, under Debian's arm64 Wine (the prefix
# tests/wine/arm64-root.sh made in ARM64_DIR): -install beside the ARM64
# package with the ARM64 newdev.dll test double in the prefix's system32;
# -uninstall against stored INF copies and root devices, the key's and
# another hardware's.
# usage: drvinsta64_run.sh ARM64_DIR BIN_DIR INF CATALOGUE
set -eu
here=$(dirname "$0")
dir=$1 bin=$2 inf=$3 catalogue=$4
prefix=$dir/prefix
system32=$prefix/drive_c/windows/system32
infdir=$prefix/drive_c/windows/inf
package=$prefix/drive_c/drvinsta64-test
log=$package/newdev.log
enum='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT'
. "$here/support/footprint_flags.sh"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

wine_run() {
    "$here/wine/arm64-root.sh" run "$dir" "$@" </dev/null >/dev/null 2>&1
}

restore() {
    [ -f "$system32/newdev.dll.kept" ] && mv -f "$system32/newdev.dll.kept" "$system32/newdev.dll"
    wine_run reg delete "$enum\\ZIVKEYTEST" /f || true
    wine_run reg delete "$enum\\ZIVOTHERTEST" /f || true
    rm -rf "$package" "$infdir"/oem9711.* "$infdir"/oem9712.*
}

# Runs DrvInstA64.exe with the given words; its exit code must be 0.
run_helper() {
    rm -f "$log"
    status=0
    NEWDEV_DOUBLE_LOG='C:\drvinsta64-test\newdev.log' WINEDLLOVERRIDES=newdev=n \
        wine_run 'C:\drvinsta64-test\DrvInstA64.exe' "$@" || status=$?
    [ $status = 0 ] || fail "DrvInstA64.exe $* exited with $status"
}

# True when root device NAME is registered.
has_device() {
    wine_run reg query "$enum\\$1\\0000"
}

# Skipped (77), saying why, when the fixture could not set up the arm64 Wine.
"$here/wine/arm64-root.sh" run "$dir" cmd.exe /c exit </dev/null >/dev/null || exit $?
trap restore EXIT
rm -rf "$package"
mkdir -p "$package"
cp "$bin/DrvInstA64.exe" "$inf" "$catalogue" "$package/"
[ -f "$system32/newdev.dll.kept" ] || mv "$system32/newdev.dll" "$system32/newdev.dll.kept"
cp "$bin/doubles/arm64/newdev.dll" "$system32/newdev.dll"

# -install: one driver update for the key's ID from the INF beside it,
# never asking the user (INSTALLFLAG_NONINTERACTIVE with INSTALLFLAG_FORCE,
# SetupAPI's non-interactive mode set before it).
NEWDEV_DOUBLE_RESULT=ok run_helper -install
line=$(cat "$log" 2>/dev/null || true)
flags=$(footprint_flags Arm64)
case "$line" in
*'hwid=USB\VID_FE17&PID_0101	inf=C:\drvinsta64-test\ZIVIRIZ.inf	flags='"$flags"'	reboot=1	bits=64'*'noninteractive=1'*) ;;
*) fail "-install: expected one non-interactive update of C:\\drvinsta64-test\\ZIVIRIZ.inf, logged: $line" ;;
esac
[ "$(grep -c hwid= "$log" 2>/dev/null)" = 1 ] || fail "-install: not exactly one update"

# -uninstall: the key's stored INF copy (read-only, with its .pnf) and its
# root device go; another hardware's stored INF and device stay. Root
# devices as setupapi keeps them: an Enum key with hardware IDs and class.
cp "$inf" "$infdir/oem9711.inf"
echo precompiled >"$infdir/oem9711.pnf"
chmod a-w "$infdir/oem9711.inf"
printf '[Version]\r\nSignature="$Windows NT$"\r\n[Manufacturer]\r\nOther=Models\r\n[Models]\r\nGadget=Install,USB\\VID_1234&PID_0001\r\n' >"$infdir/oem9712.inf"
echo precompiled >"$infdir/oem9712.pnf"
# Text as a REGEDIT4 file writes a REG_MULTI_SZ value: its bytes in hex.
hex_bytes() {
    printf '%s' "$1" | od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /,/g'
}
{
    printf 'REGEDIT4\r\n'
    for device in 'ZIVKEYTEST USB\VID_FE17&PID_0101' 'ZIVOTHERTEST USB\VID_1234&PID_0001'; do
        printf '\r\n[%s\\%s\\0000]\r\n"HardwareID"=hex(7):%s,00,00\r\n' \
            "$enum" "${device% *}" "$(hex_bytes "${device#* }")"
        printf '"ClassGUID"="{50DD5230-BA8A-11D1-BF5D-0000F805F530}"\r\n'
    done
} >"$package/devices.reg"
wine_run reg import 'C:\drvinsta64-test\devices.reg' || fail "could not register the test devices"
has_device ZIVKEYTEST && has_device ZIVOTHERTEST || fail "test devices not registered"
run_helper -uninstall
[ ! -e "$infdir/oem9711.inf" ] && [ ! -e "$infdir/oem9711.pnf" ] ||
    fail "-uninstall left the key's stored INF: $(ls "$infdir"/oem9711.* 2>&1)"
[ -e "$infdir/oem9712.inf" ] && [ -e "$infdir/oem9712.pnf" ] || fail "-uninstall deleted another hardware's stored INF"
! has_device ZIVKEYTEST || fail "-uninstall left the key's root device"
has_device ZIVOTHERTEST || fail "-uninstall removed another hardware's root device"
[ ! -s "$log" ] || fail "-uninstall called newdev.dll: $(cat "$log")"

[ $failures = 0 ] && echo "DrvInstA64.exe under arm64 Wine: update, and uninstall of the key's INF copy and device, as expected"
exit $((failures != 0))
