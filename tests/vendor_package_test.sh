#!/bin/sh
# The vendor package check against a consistent test vendor directory (a v1
# and a v2 catalogue; it passes with the two warnings it gives, that no
# catalogue signs the older generation's INF and that a throwaway identity
# signed the x64 catalogue, and osslsigncode agrees that each catalogue lists
# its driver), against a copy signed in Microsoft's hardware publisher's
# name (only the first warning, also under --strict), and against one copy
# per kind of fault or warning: each gives exactly the one line that names
# the file and the fault, besides those warnings; a warning fails under
# --strict with the same line; a helper program whose signature is
# missing or broken is such a warning. The catalogues are signed again after each
# change to a file they list, so that only the fault made shows.
# usage: vendor_package_test.sh PYTHON SOURCE_DIR WORK_DIR (PYTHON: one with
# the check's modules)
set -eu
python=$1 src=$2 work=$3
checker=$src/payload/check-vendor-package.py
maker=$src/tests/support/make_vendor_dir.py
make_dir="run $maker"
id='USB\VID_FE17&PID_0101'
good=$work/good
rm -rf "$work"
mkdir -p "$work"

# The check and the directory maker run in one interpreter
# (tests/support/python_runner.py): its start and their imports would be
# most of each of the 60 or so runs.
mkfifo "$work/runs" "$work/statuses"
"$python" "$src/tests/support/python_runner.py" "$checker" "$maker" <"$work/runs" >"$work/statuses" &
exec 3>"$work/runs" 4<"$work/statuses"

# run PROGRAM [ARG]...: PROGRAM's run in this directory, its output printed
# and its exit status returned.
run() {
    printf '%s\n' "$PWD" "$work/run.out" "$#" "$@" >&3
    read -r run_status <&4 || { echo "FAIL: the Python runner stopped"; exit 1; }
    cat "$work/run.out"
    return "$run_status"
}

$make_dir "$src" "$good"
failures=0

# The check over every file of a vendor directory: check DIR [--strict]
check() {
    checked=$1 strict=${2:-}
    set --
    for f in $(cd "$checked" && find . -type f ! -path './.signer/*' | sed 's|^\./||' | sort); do
        set -- "$@" "$f=$checked/$f"
    done
    run "$checker" --hardware-id "$id" $strict "$@"
}

# edit_inf INF OLD NEW [OLD NEW]...: replaces text ("\r\n" a line end) in
# an INF, keeping its encoding.
edit_inf() {
    $python -c '
import sys
path, edits = sys.argv[1], sys.argv[2:]
data = open(path, "rb").read()
encoding = "utf-16-le" if data.startswith(b"\xff\xfe") else "latin-1"
text = data.decode(encoding)
for old, new in zip(edits[::2], edits[1::2]):
    old, new = old.replace("\\r\\n", "\r\n"), new.replace("\\r\\n", "\r\n")
    assert old in text, old
    text = text.replace(old, new)
open(path, "wb").write(text.encode(encoding))' "$@"
}

# Stores an ANSI INF as UTF-16LE with a byte order mark.
edit_inf_encoding() {
    $python -c '
import sys
data = open(sys.argv[1], "rb").read()
open(sys.argv[1], "wb").write(b"\xff\xfe" + data.decode("latin-1").encode("utf-16-le"))' "$1"
}

# expect NAME DIR STATUS EXPECTED [--strict]: the check of DIR exits STATUS
# with the one line EXPECTED (a shell pattern; "?" for a backslash; empty:
# no line) besides the consistent directory's warnings.
expect() {
    name=$1 checked=$2 status=$3 expected=$4
    set +e
    check "$checked" ${5:-} >"$work/output"
    got=$?
    set -e
    output=$(grep -vxF -f "$work/known" "$work/output" || true)
    lines=$(printf '%s\n' "$output" | grep -c . || true)
    want_lines=1
    [ -n "$expected" ] || want_lines=0
    # shellcheck disable=SC2254
    case "$output" in
    $expected) matched=1 ;;
    *) matched=0 ;;
    esac
    if [ "$got" = "$status" ] && [ "$lines" = "$want_lines" ] && [ "$matched" = 1 ]; then
        echo "ok: $name${5:+ $5}: $output"
        return 0
    fi
    printf 'FAIL: %s%s: exit %s (expected %s), output:\n%s\nexpected: %s\n' "$name" "${5:+ $5}" "$got" "$status" \
        "$output" "$expected"
    failures=$((failures + 1))
    return 1
}

# fault NAME STATUS EXPECTED CATALOGUES COMMAND...: runs COMMAND in a copy of
# $base (the consistent directory unless set), signs its catalogues again
# unless CATALOGUES is "keep" ("--leave-out TYPE/NAME[@sha1]": without that
# member), and expects exit STATUS with the one line EXPECTED; STATUS
# "warning": exit 0, and 1 under --strict, with that line.
fault() {
    name=$1 status=$2 expected=$3 catalogues=$4
    shift 4
    dir=$work/$name
    cp -a "${base:-$good}" "$dir"
    (cd "$dir" && "$@")
    case "$catalogues" in
    keep) ;;
    resign) $make_dir --catalogues "$dir" ;;
    *) $make_dir --catalogues $catalogues "$dir" ;;
    esac
    if [ "$status" = warning ]; then
        expect "$name" "$dir" 0 "$expected" && expect "$name" "$dir" 1 "$expected" --strict && rm -rf "$dir"
    else
        expect "$name" "$dir" "$status" "$expected" && rm -rf "$dir"
    fi
    return 0  # the next case still runs; the failures are counted
}

known=$(check "$good") || { printf 'FAIL: consistent directory refused:\n%s\n' "$known"; exit 1; }
printf '%s\n' "$known" >"$work/known"
case "$known" in
'warning: OLDVID/QVUSB.INF: no catalogue of the payload signs '*'
warning: DEV64/ziviriz.cat: signed by keysetup test vendor, not Microsoft Windows Hardware Compatibility Publisher: '*'
warning: DEVA64/ziviriz.cat: signed by keysetup test vendor, not Microsoft Windows Hardware Compatibility Publisher: '*)
    ;;
*) printf 'FAIL: consistent directory passed with other than the older generation'"'"'s and the signer warnings:\n%s\n' \
       "$known"
   exit 1 ;;
esac
for package in DLL DEV64 DEVA64; do
    osslsigncode verify -in "$good/$package/ZIVIRIZ.sys" -catalog "$good/$package/ziviriz.cat" \
        -CAfile "$good/.signer/cert.pem" >"$work/osslsigncode.log" 2>&1 ||
        { cat "$work/osslsigncode.log"; echo "FAIL: osslsigncode: $package/ziviriz.cat does not list its driver"; exit 1; }
done
echo "ok: consistent directory passes with the older generation's and the signer warnings; osslsigncode finds the" \
    "three drivers in their catalogues (v1 and v2)"
# Under --strict the signer warnings, the only ones about vendor files there, fail the check.
expect consistent_directory "$good" 1 '' --strict || true
# Signed in the hardware publisher's name: no signer warning, and the older
# generation's, which no vendor file can change, stays a warning.
ms_good=$work/ms-good
cp -a "$good" "$ms_good"
$make_dir --catalogues --signer 'Microsoft Windows Hardware Compatibility Publisher' "$ms_good"
grep -v '^warning: DEV[A6]*64/ziviriz.cat: signed by ' "$work/known" >"$work/known-ms"
for strict in '' --strict; do
    check "$ms_good" $strict >"$work/output" && cmp -s "$work/output" "$work/known-ms" ||
        { cat "$work/output"; echo "FAIL: hardware publisher's catalogue ${strict:-without --strict}"; exit 1; }
done
echo "ok: signed in the hardware publisher's name: only the older generation's warning, also under --strict"

fault dll_driver_x64 1 'DLL/ZIVIRIZ.sys: machine x86-64, expected i386' resign \
    cp DEV64/ZIVIRIZ.sys DLL/ZIVIRIZ.sys
fault dev64_driver_i386 1 'DEV64/ZIVIRIZ.sys: machine i386, expected x86-64' resign \
    cp DLL/ZIVIRIZ.sys DEV64/ZIVIRIZ.sys
# The ARM64 package: its machine, models, catalogue name and members.
fault deva64_driver_x64 1 'DEVA64/ZIVIRIZ.sys: machine x86-64, expected arm64' resign \
    cp DEV64/ZIVIRIZ.sys DEVA64/ZIVIRIZ.sys
fault deva64_helper_x64 1 'DEVA64/DrvInstA64.exe: machine x86-64, expected arm64' keep \
    cp DEV64/DrvInst64.exe DEVA64/DrvInstA64.exe
fault deva64_inf_undecorated 1 'DEVA64/ZIVIRIZ.inf: its first ?Manufacturer? line has no NTarm64 decoration' \
    resign edit_inf DEVA64/ZIVIRIZ.inf '=Models,NTarm64' '=Models' '[Models.NTarm64]' '[Models]'
fault deva64_catalogue_decorated 1 'DEVA64/ZIVIRIZ.inf: CatalogFile.NTarm64 names other.cat, not ziviriz.cat' resign \
    edit_inf DEVA64/ZIVIRIZ.inf 'CatalogFile=' 'CatalogFile.NTarm64=other.cat\r\nCatalogFile='
fault deva64_catalogue_without_driver 1 \
    'DEVA64/ziviriz.cat: does not list DEVA64/ZIVIRIZ.sys (its sha256 Authenticode hash *)' \
    '--leave-out DEVA64/ZIVIRIZ.sys' true
fault driver_not_native 1 'OLDVID/QVUSB.SYS: subsystem windows-cui, expected native' keep \
    cp DEV98/newdev.dll OLDVID/QVUSB.SYS
fault dev98_library_not_dll 1 'DEV98/WinSCard.dll: not a DLL' keep \
    cp DEV98/ziviriz.sys DEV98/WinSCard.dll
fault catalogue_without_driver 1 'DLL/ziviriz.cat: does not list DLL/ZIVIRIZ.sys (its sha1 Authenticode hash *)' \
    '--leave-out DLL/ZIVIRIZ.sys' true
# A v2 catalogue without either member of the INF.
fault catalogue_without_inf 1 'DEV64/ziviriz.cat: does not list DEV64/ZIVIRIZ.inf (its sha256 file hash *)' \
    '--leave-out DEV64/ZIVIRIZ.inf' true
# Changed after signing, as re-encoding the vendor's INF would change it.
fault inf_changed_after_signing 1 'DLL/ziviriz.cat: does not list DLL/ZIVIRIZ.inf (its sha1 file hash *)' keep \
    edit_inf DLL/ZIVIRIZ.inf 'CatalogFile=' ';Edited\r\nCatalogFile='
fault catalogue_not_signed_data 1 'DEV64/ziviriz.cat: not a DER PKCS#7 SignedData holding a catalogue trust list' keep \
    cp DEV98/ZIVIRIZ.INF DEV64/ziviriz.cat
fault inf_without_hardware_id 1 \
    'DLL/ZIVIRIZ.inf: USB?VID_FE17&PID_0101 is not the first hardware ID of a model of its first manufacturer' \
    resign edit_inf DLL/ZIVIRIZ.inf 'PID_0101' 'PID_0102'
fault older_generation_declares_it 1 \
    'OLDVID/QVUSB.INF: declares USB?VID_FE17&PID_0101, the current generation'"'"'s hardware ID' \
    keep edit_inf OLDVID/QVUSB.INF 'PID_0002' 'PID_0101'
fault x64_inf_undecorated 1 'DEV64/ZIVIRIZ.inf: its first ?Manufacturer? line has no NTamd64 decoration' \
    resign edit_inf DEV64/ZIVIRIZ.inf '=Models,NTamd64.6.0' '=Models' '[Models.NTamd64.6.0]' '[Models]'
fault inf_copies_other_driver 1 'DEV98/ZIVIRIZ.INF: copies OTHER.sys, not ziviriz.sys' \
    keep edit_inf DEV98/ZIVIRIZ.INF 'ziviriz.sys\r\n\r\n[SourceDisksNames]' 'OTHER.sys\r\n\r\n[SourceDisksNames]'
# The catalogue Windows looks up: the platform's CatalogFile entry, else the
# undecorated one, its name compared without regard to case.
fault inf_names_no_catalogue 1 'DLL/ZIVIRIZ.inf: names no CatalogFile' resign \
    edit_inf DLL/ZIVIRIZ.inf 'CatalogFile=ziviriz.cat\r\n' ''
fault inf_names_other_catalogue 1 'DEV64/ZIVIRIZ.inf: CatalogFile names other.cat, not ziviriz.cat' resign \
    edit_inf DEV64/ZIVIRIZ.inf 'CatalogFile=ziviriz.cat' 'CatalogFile=other.cat'
fault decorated_catalogue_counts 1 'DLL/ZIVIRIZ.inf: CatalogFile.NTx86 names other.cat, not ziviriz.cat' resign \
    edit_inf DLL/ZIVIRIZ.inf 'CatalogFile=' 'CatalogFile.NTx86=other.cat\r\nCatalogFile='
fault decorated_catalogue_wins 0 '' resign edit_inf DEV64/ZIVIRIZ.inf 'CatalogFile=ziviriz.cat' \
    'CatalogFile = other.cat\r\nCatalogFile.NTx86=other.cat\r\nCatalogFile.NTamd64 = "ZIVIRIZ.CAT"'
# Comments holding "=" before the lines that count, read as the INF matcher
# reads the same file (tests/inf_match_test.cpp).
fault commented_models 0 '' keep cp "$src/tests/data/commented_models.INF" DEV98/ZIVIRIZ.INF
fault oldgen_warned_once 0 \
    'warning: OLDVID/QVUSB.INF and OLDVID98/QVUSB.INF: no catalogue of the payload signs the older generation*' \
    keep cp OLDVID/QVUSB.INF OLDVID98/QVUSB.INF
# Windows reads either encoding: no warning.
fault dev98_inf_utf16 0 '' keep edit_inf_encoding DEV98/ZIVIRIZ.INF

# A vendor's helper program without an intact signature: unsigned, or
# changed after signing (a byte of its DOS stub, which the hash covers).
fault helper_unsigned warning 'warning: DEV64/DrvInst64.exe: Authenticode signature missing: *' keep \
    sh -c 'osslsigncode remove-signature -in DEV64/DrvInst64.exe -out u.exe >/dev/null && mv u.exe DEV64/DrvInst64.exe'
fault helper_changed_after_signing warning \
    'warning: DEVA64/DrvInstA64.exe: Authenticode signature broken: its hash is not the file'"'"'s: *' keep \
    $python -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(0x50); f.write(b"X")' DEVA64/DrvInstA64.exe

# What keeps Windows from loading the driver on some machines, in a package
# signed in the hardware publisher's name.
base=$ms_good
fault v2_without_sha1_member warning \
    'warning: DEV64/ziviriz.cat: lists DEV64/ZIVIRIZ.sys by sha256 only: Windows 7 and earlier look *' \
    '--leave-out DEV64/ZIVIRIZ.sys@sha1' true
fault hvci_writable_section warning \
    'warning: DEV64/ZIVIRIZ.sys: section INIT is writable and executable: will not load where memory integrity*' \
    resign $make_dir --x64-driver writable-code DEV64/ZIVIRIZ.sys
fault hvci_section_alignment warning \
    'warning: DEV64/ZIVIRIZ.sys: SectionAlignment 0x80 is not a multiple of 0x1000: will not load where memory*' \
    resign $make_dir --x64-driver small-alignment DEV64/ZIVIRIZ.sys

# DriverVer as Windows and keycheck read it: the DDInstall section's (.NTamd64 first) before [Version]'s.
twice=$work/twice.inf
cp "$good/DEV64/ZIVIRIZ.inf" "$twice"
edit_inf "$twice" '[ZIVIRIZ_Install.NTamd64]\r\n' \
    '[ZIVIRIZ_Install.NT]\r\nDriverVer=01/01/2030,9.0.0.0\r\n[ZIVIRIZ_Install.NTamd64]\r\nDriverVer = 01/15/2024, 3.1.0.5\r\n'
for case in "$good/DEV64/ZIVIRIZ.inf=06/12/2015,3.0.2.44" "$twice=01/15/2024,3.1.0.5"; do
    got=$(run "$checker" --driver-ver "${case%%=*}" --hardware-id "$id")
    [ "$got" = "${case#*=}" ] && echo "ok: DriverVer $got" ||
        { echo "FAIL: ${case%%=*}: DriverVer $got, expected ${case#*=}"; failures=$((failures + 1)); }
done

[ "$failures" = 0 ] || { echo "$failures fault cases failed"; exit 1; }
exec 3>&- 4<&-
wait
rm -rf "$work"
