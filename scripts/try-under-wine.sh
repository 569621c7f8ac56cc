#!/bin/sh
# The acceptance recipe, run under Wine (after ./build.sh): a throwaway
# 32-bit prefix, the install as a deployment tool runs it (deploy/install.cmd
# from a content folder), keycheck from the folder it keeps it in, the copy
# of the key's INF that Windows would keep, keycheck, a test device with the
# key's hardware ID standing for the plugged key, keycheck, the registered
# uninstall command, keycheck. Prints each report and exit code; exits
# non-zero when a step does not give the code it must (1, 2, 0, 3, 1).
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
keycheck=$bin/keycheck.exe
# keycheck never waits for Enter when its input is no console.
check() {
    expected=$1
    echo "== keycheck ($2; must give $expected)"
    code=0 quiet=0
    wine "$keycheck" </dev/null >"$prefix/report.txt" || code=$?
    tr -d '\r' <"$prefix/report.txt"
    wine "$keycheck" /q </dev/null >"$prefix/quiet.txt" || quiet=$?
    echo "-- exit code $code (with /q: $quiet, $(wc -c <"$prefix/quiet.txt") bytes printed)"
    [ "$code" = "$expected" ] && [ "$quiet" = "$expected" ] || { echo "-- expected $expected"; failed=1; }
}

check 1 "clean prefix"
content=$prefix/drive_c/content
mkdir -p "$content"
cp "$bin/keysetup.exe" "$bin/keycheck.exe" deploy/install.cmd "$content/"
echo "== deploy/install.cmd from the package content (keysetup.exe, keycheck.exe kept)"
install_code=0
wine cmd /c 'C:\content\install.cmd' </dev/null || install_code=$?
echo "-- exit code $install_code (must be 2: Wine stores no oemN.inf copy)"
[ "$install_code" = 2 ] || failed=1
keycheck="$prefix/drive_c/Program Files/VORevizeRidarorar/keycheck.exe"
[ -f "$keycheck" ] || { echo "-- keycheck.exe not in its fixed folder"; failed=1; keycheck=$bin/keycheck.exe; }
check 2 "installed, package not stored"
# Windows keeps a copy of the key's INF as oemN.inf when it stores the
# package; Wine keeps it under its own name, so the copy Windows would keep
# is made here. The uninstall deletes it, then removes the key's device.
cp "$prefix/drive_c/windows/system32/ZIVIRIZ.inf" "$prefix/drive_c/windows/inf/oem1.inf"
check 0 "installed and stored, no key plugged"
echo "== plugging the key (a test device with its hardware ID)"
wine "$bin/key_device_probe.exe" plug </dev/null | tr -d '\r'
check 3 "key plugged; Wine gives its device no driver"
command=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VORevizeRidarorar' \
    /v UninstallString </dev/null | tr -d '\r' | sed -n 's/^ *UninstallString *REG_SZ *//p')
echo "== the registered uninstall command: $command"
# shellcheck disable=SC2086
wine $command </dev/null
check 1 "after the uninstall"
[ $failed = 0 ] && echo "== every step gave its code"
exit $failed
