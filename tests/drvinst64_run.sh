#!/bin/sh
# DrvInst64.exe as shipped, run with Wine's 64-bit loader in the x64 prefix
# (WINEPREFIX) beside the 64-bit package, with the newdev.dll test double in
# the prefix's system32 (tests/support/newdev_double.h tells its variables).
# usage: drvinst64_run.sh BIN_DIR INF CATALOGUE
set -eu
here=$(dirname "$0")
bin=$1 inf=$2 catalogue=$3
run="$here/../cmake/wine-run.sh"
system32=$WINEPREFIX/drive_c/windows/system32
package=$WINEPREFIX/drive_c/drvinst64-test
log=$package/newdev.log
. "$here/support/footprint_flags.sh"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

infdir=$WINEPREFIX/drive_c/windows/inf

restore_newdev() {
    [ -f "$system32/newdev.dll.kept" ] && mv -f "$system32/newdev.dll.kept" "$system32/newdev.dll"
    rm -rf "$package" "$infdir/ZIVIRIZ.inf" "$infdir"/oem9701.* "$infdir"/oem9702.*
}
trap restore_newdev EXIT

# Runs DrvInst64.exe with the given words; its exit code must be 0.
run_drvinst64() {
    rm -f "$log"
    status=0
    NEWDEV_DOUBLE_LOG='C:\drvinst64-test\newdev.log' WINEDLLOVERRIDES="newdev=n${SETUPAPI_OVERRIDE:-}" \
        "$run" "$package/DrvInst64.exe" "$@" </dev/null >/dev/null 2>&1 || status=$?
    [ $status = 0 ] || fail "DrvInst64.exe $* exited with $status"
}

rm -rf "$package"
mkdir -p "$package"
cp "$bin/DrvInst64.exe" "$inf" "$catalogue" "$package/"
[ -f "$system32/newdev.dll.kept" ] || mv "$system32/newdev.dll" "$system32/newdev.dll.kept"
cp "$bin/doubles/win64/newdev.dll" "$system32/newdev.dll"

# -install: one driver update for the key's ID from the INF beside it,
# never asking the user: INSTALLFLAG_NONINTERACTIVE with INSTALLFLAG_FORCE,
# SetupAPI's non-interactive mode set before it.
NEWDEV_DOUBLE_RESULT=ok run_drvinst64 -install
line=$(cat "$log" 2>/dev/null || true)
flags=$(footprint_flags Wow64)
case "$line" in
*'hwid=USB\VID_FE17&PID_0101	inf=C:\drvinst64-test\ZIVIRIZ.inf	flags='"$flags"'	reboot=1	bits=64'*'noninteractive=1'*) ;;
*) fail "-install: expected one non-interactive update of C:\\drvinst64-test\\ZIVIRIZ.inf, logged: $line" ;;
esac
[ "$(grep -c hwid= "$log" 2>/dev/null)" = 1 ] || fail "-install: not exactly one update"

# No device present: the INF goes to the system's INF store.
NEWDEV_DOUBLE_RESULT=nodev run_drvinst64 -install
[ -f "$WINEPREFIX/drive_c/windows/inf/ZIVIRIZ.inf" ] || fail "-install without a device stored no INF"
rm -f "$WINEPREFIX/drive_c/windows/inf/ZIVIRIZ.inf"

# An update that fails (as it does where it would have to ask; Windows
# names no error for that) stores the INF for the key's next plug-in.
NEWDEV_DOUBLE_RESULT=1459 run_drvinst64 -install
[ -f "$WINEPREFIX/drive_c/windows/inf/ZIVIRIZ.inf" ] || fail "-install after a refused update stored no INF"
rm -f "$WINEPREFIX/drive_c/windows/inf/ZIVIRIZ.inf"

# Without setupapi.dll it still starts; the update runs, the store cannot.
NEWDEV_DOUBLE_RESULT=nodev SETUPAPI_OVERRIDE=";setupapi=" run_drvinst64 -install
[ "$(grep -c hwid= "$log" 2>/dev/null)" = 1 ] || fail "-install without setupapi.dll: no update tried"
[ ! -e "$WINEPREFIX/drive_c/windows/inf/ZIVIRIZ.inf" ] || fail "stored an INF without setupapi.dll"

# Any other command line changes nothing.
run_drvinst64 -remove
[ ! -s "$log" ] || fail "-remove called newdev.dll: $(cat "$log")"

# -uninstall: a stored copy of the key's INF goes with its .pnf (a read-only
# one too); a stored INF of other hardware stays. Nothing is installed.
cp "$inf" "$infdir/oem9701.inf"
echo precompiled >"$infdir/oem9701.pnf"
chmod a-w "$infdir/oem9701.inf"
printf '[Version]\r\nSignature="$Windows NT$"\r\n[Manufacturer]\r\nOther=Models\r\n[Models]\r\nGadget=Install,USB\\VID_1234&PID_0001\r\n' >"$infdir/oem9702.inf"
echo precompiled >"$infdir/oem9702.pnf"
run_drvinst64 -uninstall
[ ! -e "$infdir/oem9701.inf" ] && [ ! -e "$infdir/oem9701.pnf" ] || fail "-uninstall left the key's stored INF: $(ls "$infdir"/oem9701.* 2>&1)"
[ -e "$infdir/oem9702.inf" ] && [ -e "$infdir/oem9702.pnf" ] || fail "-uninstall deleted another hardware's stored INF"
[ ! -s "$log" ] || fail "-uninstall called newdev.dll: $(cat "$log")"
rm -f "$infdir"/oem9702.*

# Without newdev.dll nothing is updated or stored, and it still ends with 0.
rm -f "$system32/newdev.dll"
NEWDEV_DOUBLE_RESULT=nodev run_drvinst64 -install
[ ! -e "$WINEPREFIX/drive_c/windows/inf/ZIVIRIZ.inf" ] || fail "stored an INF without newdev.dll"

[ $failures = 0 ] && echo "DrvInst64.exe: non-interactive update, store, store after a refusal, no setupapi.dll, other words, uninstall and no newdev.dll as expected"
exit $((failures != 0))
