#!/bin/sh
# Checks KEYSETUP_VENDOR_DIR in a build of its own, with the test vendor
# directory tests/support/make_vendor_dir.py makes (a v1 and two v2
# catalogues): without one file it fails the configure naming that file
# (DEVA64/ is optional); complete, every file (INFs and the helpers
# included) is embedded byte for byte and listed with origin "vendor" and
# what was checked, and the signer warning is printed; with
# KEYSETUP_VENDOR_STRICT that warning fails the configure, and a driver that
# memory integrity refuses, put in after a strict configure, fails the
# build; a driver broken after the configure fails the build, and then the
# configure; switched back to placeholders, the build gives the same
# keysetup.exe and listing as the main build.
# That build is also the reproducibility check: made from a copy of the
# sources in another directory, into another build directory, it must give
# keysetup.exe, QV_DRVUNI.exe, DrvInst64.exe and DrvInstA64.exe byte for
# byte as the main build did.
# usage: check-vendor-dir.sh PYTHON SOURCE_DIR WORK_DIR MAIN_BIN_DIR (PYTHON: one with the
# package check's modules)
set -eu
python=$1 main_src=$2 work=$3 main_bin=$4
vendor=$work/vendor build=$work/build src=$work/source
rm -rf "$work"
mkdir -p "$vendor" "$src"

# The sources as git lists them (tracked and new, not ignored: no build
# trees); a tree that is no git checkout is copied whole.
if git -C "$main_src" rev-parse --show-toplevel >/dev/null 2>&1; then
    (cd "$main_src" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
        tar --null -T - -cf -) | tar -C "$src" -xf -
else
    (cd "$main_src" && tar --exclude=./build -cf - .) | tar -C "$src" -xf -
fi

# type id name of every file of the test vendor directory
files='DLL 165 ziviriz.cat
DLL 166 ZIVIRIZ.sys
DLL 167 ZIVIRIZ.inf
DEV64 193 ZIVIRIZ.inf
DEV64 194 ZIVIRIZ.sys
DEV64 195 ziviriz.cat
DEV64 196 DrvInst64.exe
DEVA64 206 ZIVIRIZ.inf
DEVA64 207 ZIVIRIZ.sys
DEVA64 208 ziviriz.cat
DEVA64 209 DrvInstA64.exe
DEV98 185 newdev.dll
DEV98 186 WinSCard.dll
DEV98 187 ziviriz.sys
DEV98 188 ZIVIRIZ.INF
OLDVID 199 QVUSB.SYS
OLDVID 200 QVUSB.INF
OLDVID98 201 QVUSB.SYS'

# configure VENDOR_DIR [STRICT]
configure() {
    cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "-DKEYSETUP_PYTHON3=$python" "-DKEYSETUP_VENDOR_DIR=$1" \
        "-DKEYSETUP_VENDOR_STRICT=${2:-OFF}"
}

. "$src/tests/support/log_says.sh"

fail() {
    echo "FAIL: $*"
    exit 1
}

# The consistent test vendor directory the package check's test uses too.
make_dir="$python $src/tests/support/make_vendor_dir.py"
$make_dir "$src" "$vendor"
# DEVA64/ is optional: without it the configure says what the Arm64 branch lacks.
mv "$vendor/OLDVID98/QVUSB.SYS" "$work/QVUSB.SYS"
mv "$vendor/DEVA64" "$work/DEVA64"
if configure "$vendor" >"$work/incomplete.log" 2>&1; then
    fail "configure accepted a vendor directory without OLDVID98/QVUSB.SYS"
fi
log_says 'OLDVID98/QVUSB.SYS' "$work/incomplete.log" || { cat "$work/incomplete.log"; fail "missing file not named"; }
! log_says 'DEVA64/ZIVIRIZ.sys' "$work/incomplete.log" || fail "the optional DEVA64/ named as missing"
log_says 'the Arm64 branch installs no working driver' "$work/incomplete.log" || fail "no notice of the ARM64 placeholders"
echo "incomplete vendor directory refused, naming OLDVID98/QVUSB.SYS; without DEVA64/ the Arm64 branch's placeholders noticed"

mv "$work/QVUSB.SYS" "$vendor/OLDVID98/QVUSB.SYS"
mv "$work/DEVA64" "$vendor/DEVA64"
configure "$vendor" >"$work/complete.log" 2>&1 || { cat "$work/complete.log"; fail "configure with a complete vendor directory"; }
log_says 'NOT checked here: the catalogue signatures and their chain to a root that Windows trusts' "$work/complete.log" ||
    fail "configure does not say what the package check leaves out"
signer_warning='warning: DEV64/ziviriz.cat: signed by keysetup test vendor, not Microsoft Windows Hardware'
grep -q "^$signer_warning" "$work/complete.log" || { cat "$work/complete.log"; fail "configure without the signer warning"; }
cmake --build "$build" --target keysetup >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
listing=$build/bin/keysetup.payload.txt
printf '%s\n' "$files" | while read -r type id name; do
    file=$vendor/$type/$name
    size=$(wc -c <"$file")
    hash=$(sha256sum "$file" | cut -d' ' -f1)
    grep -q "^$type $id $name $size $hash vendor | ." "$listing" || { cat "$listing"; fail "$type $id not listed as $file"; }
    "$python" "$src/tests/support/pe_resource.py" "$build/bin/keysetup.exe" "$type" "$id" | cmp -s - "$file" ||
        fail "resource $type $id of keysetup.exe is not $file byte for byte"
done
"$python" "$src/tests/support/pe_resource.py" "$build/bin/keysetup.exe" OLDVID98 202 | cmp -s - "$vendor/OLDVID/QVUSB.INF" ||
    fail "resource OLDVID98 202 of keysetup.exe is not OLDVID/QVUSB.INF byte for byte"
signer='signer Common Name: keysetup test vendor'
grep -q '^DLL 166 ZIVIRIZ.sys .* | pe native i386; listed in DLL/ziviriz.cat (sha1)$' "$listing" &&
    grep -q "^DLL 165 ziviriz.cat .* | catalogue v1 of 2 members (sha1); OSAttr none; $signer\$" "$listing" &&
    grep -q '^DEV64 193 ZIVIRIZ.inf .* | utf-16le; .*listed in DEV64/ziviriz.cat (sha1, sha256)$' "$listing" &&
    grep -q '^DEV64 194 ZIVIRIZ.sys .* | pe native x86-64; memory integrity: compatible; listed in .* (sha1, sha256)$' \
        "$listing" &&
    grep -q "^DEV64 195 ziviriz.cat .* | catalogue v2 of 4 members (sha1, sha256); OSAttr 2:6.1,2:10.0; $signer\$" \
        "$listing" ||
    { cat "$listing"; fail "listing does not say what was checked"; }
! grep -q placeholder "$listing" || fail "placeholder listed in a vendor build"
echo "consistent vendor directory embedded byte for byte (INFs and both helpers included) and listed with its checks"

# KEYSETUP_VENDOR_STRICT: the signer warning fails the configure; signed in
# the hardware publisher's name it passes, and a driver that memory
# integrity refuses fails the build.
if configure "$vendor" ON >"$work/strict.log" 2>&1; then
    fail "strict configure accepted a catalogue signed by a throwaway identity"
fi
grep -q "^$signer_warning" "$work/strict.log" ||
    { cat "$work/strict.log"; fail "strict configure did not name DEV64/ziviriz.cat"; }
$make_dir --catalogues --signer 'Microsoft Windows Hardware Compatibility Publisher' "$vendor"
configure "$vendor" ON >"$work/strict.log" 2>&1 || { cat "$work/strict.log"; fail "strict configure"; }
cp "$vendor/DEV64/ZIVIRIZ.sys" "$work/ZIVIRIZ.sys"
$make_dir --x64-driver writable-code "$vendor/DEV64/ZIVIRIZ.sys"
$make_dir --catalogues "$vendor"
if cmake --build "$build" --target keysetup >"$work/strict.log" 2>&1; then
    fail "strict build embedded a driver with a writable and executable section"
fi
grep -q '^warning: DEV64/ZIVIRIZ.sys: section INIT is writable and executable: will not load where memory integrity' \
    "$work/strict.log" || { cat "$work/strict.log"; fail "strict build did not name DEV64/ZIVIRIZ.sys"; }
echo "strict: the signer warning fails the configure, naming DEV64/ziviriz.cat; a writable and executable section" \
    "fails the build, naming DEV64/ZIVIRIZ.sys"
cp "$work/ZIVIRIZ.sys" "$vendor/DEV64/ZIVIRIZ.sys"
$make_dir --catalogues "$vendor"

# A vendor file changed after the configure: the build checks it again.
cp "$vendor/DEV64/ZIVIRIZ.sys" "$vendor/DLL/ZIVIRIZ.sys"
if cmake --build "$build" --target keysetup >"$work/refused.log" 2>&1; then
    fail "build embedded an x86-64 driver in DLL/"
fi
grep -q '^DLL/ZIVIRIZ.sys: machine x86-64, expected i386$' "$work/refused.log" ||
    { cat "$work/refused.log"; fail "build-time check did not name DLL/ZIVIRIZ.sys"; }
echo "a driver changed after the configure fails the build, naming DLL/ZIVIRIZ.sys"
if configure "$vendor" >"$work/refused.log" 2>&1; then
    fail "configure accepted an x86-64 driver in DLL/"
fi
log_says 'DLL/ZIVIRIZ.sys: machine x86-64, expected i386' "$work/refused.log" ||
    { cat "$work/refused.log"; fail "configure-time check did not name DLL/ZIVIRIZ.sys"; }
echo "and fails the configure, naming it"

configure "" >"$work/placeholder.log" 2>&1 || { cat "$work/placeholder.log"; fail "configure without vendor directory"; }
log_says PLACEHOLDER "$work/placeholder.log" || fail "no notice of placeholders"
cmake --build "$build" --target keysetup >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
# keysetup's build makes the two programs it carries.
for program in QV_DRVUNI.exe DrvInst64.exe DrvInstA64.exe; do
    cmp "$build/bin/$program" "$main_bin/$program" || fail "$program differs from the main build's"
done
echo "QV_DRVUNI.exe, DrvInst64.exe and DrvInstA64.exe from copied sources in another directory identical to the main build's"
if grep -q ' vendor | ' "$main_bin/keysetup.payload.txt"; then
    echo "main build embeds vendor files: its keysetup.exe not compared"
else
    cmp "$build/bin/keysetup.payload.txt" "$main_bin/keysetup.payload.txt" || fail "listing differs from the main build's"
    cmp "$build/bin/keysetup.exe" "$main_bin/keysetup.exe" || fail "keysetup.exe differs from the main build's"
    echo "placeholder build from copied sources in another directory: keysetup.exe and listing identical to the main build's"
fi
rm -rf "$work"
