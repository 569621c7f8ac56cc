#!/bin/sh
# The acceptance recipe, run under Wine (after ./build.sh): a throwaway
# 32-bit prefix, the install, keycheck, a test device with the key's
# hardware ID standing for the plugged key, keycheck, the registered
# uninstall command, keycheck. Prints each report and exit code; exits
# non-zero when a step does not give the code it must (0, 3, 1).
set -eu
cd "$(dirname "$0")/.."
bin=$PWD/build/bin
for program in keysetup.exe keycheck.exe key_device_probe.exe; do
    [ -f "$bin/$program" ] || { echo "build/bin/$program missing: run ./build.sh first" >&2; exit 2; }
done
prefix=$(mktemp -d "${TMPDIR:-/tmp}/keysetup-try.XXXXXX")
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT INT TERM

echo "== making a throwaway Wine prefix in $prefix"
wineserver -p30 </dev/null >/dev/null 2>&1
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

failed=0
# keycheck never waits for Enter when its input is no console.
check() {
    expected=$1
    echo "== keycheck ($2; must give $expected)"
    code=0 quiet=0
    wine "$bin/keycheck.exe" </dev/null >"$prefix/report.txt" || code=$?
    tr -d '\r' <"$prefix/report.txt"
    wine "$bin/keycheck.exe" /q </dev/null >"$prefix/quiet.txt" || quiet=$?
    echo "-- exit code $code (with /q: $quiet, $(wc -c <"$prefix/quiet.txt") bytes printed)"
    [ "$code" = "$expected" ] && [ "$quiet" = "$expected" ] || { echo "-- expected $expected"; failed=1; }
}

check 1 "clean prefix"
echo "== keysetup.exe (install)"
wine "$bin/keysetup.exe" </dev/null
check 0 "installed, no key plugged"
echo "== plugging the key (a test device with its hardware ID)"
wine "$bin/key_device_probe.exe" plug </dev/null | tr -d '\r'
check 3 "key plugged; Wine gives its device no driver"
# Windows keeps a copy of the key's INF as oemN.inf once it gives the key
# its driver; Wine's newdev.dll does nothing, so the copy is made here. The
# uninstall deletes it, then removes the key's device.
cp "$prefix/drive_c/windows/system32/ZIVIRIZ.inf" "$prefix/drive_c/windows/inf/oem1.inf"
command=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VORevizeRidarorar' \
    /v UninstallString </dev/null | tr -d '\r' | sed -n 's/^ *UninstallString *REG_SZ *//p')
echo "== the registered uninstall command: $command"
# shellcheck disable=SC2086
wine $command </dev/null
check 1 "after the uninstall"
[ $failed = 0 ] && echo "== every step gave its code"
exit $failed
