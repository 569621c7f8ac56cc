#!/bin/sh
# The vendor package check against a consistent test vendor directory (it
# passes with the one warning every payload gives, that no catalogue signs
# the older generation's INF, and osslsigncode agrees that each catalogue
# lists its driver) and against one copy of it per kind of fault: each gives
# exactly the one line that names the file and the fault, besides that
# warning. The catalogues are signed again after each change to a file they
# list, so that only the fault made shows.
# usage: vendor_package_test.sh PYTHON SOURCE_DIR WORK_DIR (PYTHON: one with
# the check's modules)
set -eu
python=$1 src=$2 work=$3
make_dir="$python $src/tests/support/make_vendor_dir.py"
id='USB\VID_FE17&PID_0101'
good=$work/good
rm -rf "$work"
mkdir -p "$work"
$make_dir "$src" "$good"
failures=0

# The check over every file of a vendor directory.
check() {
    checked=$1
    set --
    for f in $(cd "$checked" && find . -type f ! -path './.signer/*' | sed 's|^\./||' | sort); do
        set -- "$@" "$f=$checked/$f"
    done
    $python "$src/payload/check-vendor-package.py" --hardware-id "$id" "$@"
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

# fault NAME STATUS EXPECTED CATALOGUES COMMAND...: runs COMMAND in a copy of
# the consistent directory, signs its catalogues again unless CATALOGUES is
# "keep" ("--leave-out TYPE/NAME": without that member), and expects exit
# STATUS with the one line EXPECTED (a shell pattern; "?" for a backslash;
# empty: no line) besides the consistent directory's warning.
fault() {
    name=$1 status=$2 expected=$3 catalogues=$4
    shift 4
    dir=$work/$name
    cp -a "$good" "$dir"
    (cd "$dir" && "$@")
    case "$catalogues" in
    keep) ;;
    resign) $make_dir --catalogues "$dir" ;;
    *) $make_dir --catalogues $catalogues "$dir" ;;
    esac
    set +e
    check "$dir" >"$work/output"
    got=$?
    set -e
    output=$(grep -vxF "$oldgen_warning" "$work/output" || true)
    lines=$(printf '%s\n' "$output" | grep -c . || true)
    want_lines=1
    [ -n "$expected" ] || want_lines=0
    # shellcheck disable=SC2254
    case "$output" in
    $expected) matched=1 ;;
    *) matched=0 ;;
    esac
    if [ "$got" = "$status" ] && [ "$lines" = "$want_lines" ] && [ "$matched" = 1 ]; then
        echo "ok: $name: $output"
        rm -rf "$dir"
    else
        printf 'FAIL: %s: exit %s (expected %s), output:\n%s\nexpected: %s\n' "$name" "$got" "$status" "$output" "$expected"
        failures=$((failures + 1))
    fi
}

oldgen_warning=$(check "$good") || { printf 'FAIL: consistent directory refused:\n%s\n' "$oldgen_warning"; exit 1; }
case "$oldgen_warning" in
'warning: OLDVID/QVUSB.INF: no catalogue of the payload signs '*) ;;
*) printf 'FAIL: consistent directory passed with other than the older generation'"'"'s warning:\n%s\n' "$oldgen_warning"
   exit 1 ;;
esac
for package in DLL DEV64 DEVA64; do
    osslsigncode verify -in "$good/$package/ZIVIRIZ.sys" -catalog "$good/$package/ziviriz.cat" \
        -CAfile "$good/.signer/cert.pem" >"$work/osslsigncode.log" 2>&1 ||
        { cat "$work/osslsigncode.log"; echo "FAIL: osslsigncode: $package/ziviriz.cat does not list its driver"; exit 1; }
done
echo "ok: consistent directory passes with the older generation's warning; osslsigncode finds the three drivers in their catalogues"

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
fault dev98_inf_utf16 0 'warning: DEV98/ZIVIRIZ.INF: utf-16le, expected ansi (embedded as it is)' \
    keep edit_inf_encoding DEV98/ZIVIRIZ.INF

[ "$failures" = 0 ] || { echo "$failures fault cases failed"; exit 1; }
rm -rf "$work"
