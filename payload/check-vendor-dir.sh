#!/bin/sh
# Checks KEYSETUP_VENDOR_DIR in a build of its own, with the test vendor
# directory tests/support/make_vendor_dir.py makes (a v1 and two v2
# catalogues, signed helpers): without one file, and with an INF under
# another name, it fails the configure naming each, with the near miss
# (DEVA64/ is optional, but not in release mode, which passes without it
# under KEYSETUP_ARM64=OFF and then embeds no ARM64 resource); complete,
# with some names in lower case, every file (INFs and the helpers
# included) is embedded byte for byte and listed with origin "vendor" and
# what was checked, the signer warning is printed and a file no payload
# uses is noted; with KEYSETUP_VENDOR_STRICT that warning and an unsigned
# vendor DrvInst64.exe fail the configure, and a driver that memory
# integrity refuses, put in after a strict configure, fails the build; a
# driver broken after the configure fails the build, and then the
# configure; release mode without a vendor directory fails naming the
# placeholders; switched back to placeholders, the build gives the same
# keysetup.exe and listing as the main build, and its release archive is
# the same bytes when built again.
# That build is also the reproducibility check: made from a copy of the
# sources in another directory, into another build directory, it must give
# keysetup.exe, QV_DRVUNI.exe, DrvInst64.exe and DrvInstA64.exe byte for
# byte as the main build did. That tree and its sources stay, built with
# placeholders: the signing check signs it without compiling again.
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

# configure VENDOR_DIR [STRICT [RELEASE [ARM64]]]
configure() {
    cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "-DKEYSETUP_PYTHON3=$python" "-DKEYSETUP_VENDOR_DIR=$1" \
        "-DKEYSETUP_VENDOR_STRICT=${2:-OFF}" "-DKEYSETUP_RELEASE=${3:-OFF}" "-DKEYSETUP_ARM64=${4:-ON}"
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
# An INF under another name is no silent fallback to this project's: the
# missing name is given with the near miss found.
mv "$vendor/OLDVID98/QVUSB.SYS" "$work/QVUSB.SYS"
mv "$vendor/DEVA64" "$work/DEVA64"
mv "$vendor/DEV98/ZIVIRIZ.INF" "$vendor/DEV98/vendor.inf"
if configure "$vendor" >"$work/incomplete.log" 2>&1; then
    fail "configure accepted a vendor directory without OLDVID98/QVUSB.SYS"
fi
log_says 'OLDVID98/QVUSB.SYS' "$work/incomplete.log" || { cat "$work/incomplete.log"; fail "missing file not named"; }
log_says 'DEV98/ZIVIRIZ.INF (.*), found instead: DEV98/vendor.inf' "$work/incomplete.log" ||
    { cat "$work/incomplete.log"; fail "differently named INF not named with its near miss"; }
mv "$vendor/DEV98/vendor.inf" "$vendor/DEV98/ZIVIRIZ.INF"
! log_says 'DEVA64/ZIVIRIZ.sys' "$work/incomplete.log" || fail "the optional DEVA64/ named as missing"
log_says 'the Arm64 branch installs no working driver' "$work/incomplete.log" || fail "no notice of the ARM64 placeholders"
echo "incomplete vendor directory refused, naming OLDVID98/QVUSB.SYS and DEV98/ZIVIRIZ.INF's near miss;" \
    "without DEVA64/ the Arm64 branch's placeholders noticed"
# Release mode without DEVA64/ names its files; with KEYSETUP_ARM64=OFF it
# passes and the payload holds no ARM64 resource.
mv "$work/QVUSB.SYS" "$vendor/OLDVID98/QVUSB.SYS"
$make_dir --catalogues --signer 'Microsoft Windows Hardware Compatibility Publisher' "$vendor"
if configure "$vendor" ON ON >"$work/release.log" 2>&1; then
    fail "release configure accepted a vendor directory without DEVA64/"
fi
log_says 'DEVA64/ZIVIRIZ.sys' "$work/release.log" || { cat "$work/release.log"; fail "release: DEVA64 not named"; }
configure "$vendor" ON ON OFF >"$work/release.log" 2>&1 || { cat "$work/release.log"; fail "release without ARM64"; }
! grep -q '^IDR_ARM64' "$build/payload/keysetup_payload.rc" || fail "ARM64 resources in a build without ARM64"
echo "release mode names the missing DEVA64/ files; with KEYSETUP_ARM64=OFF no ARM64 resource"


# Names as Windows tools write them: a lower-case folder and files, and a
# file no payload uses, which is noted.
$make_dir --catalogues --signer 'keysetup test vendor' "$vendor"
mv "$vendor/DEV64" "$vendor/dev64"
mv "$vendor/dev64/ZIVIRIZ.inf" "$vendor/dev64/ziviriz.inf"
mv "$vendor/DLL/ZIVIRIZ.sys" "$vendor/DLL/ziviriz.sys"
echo extra >"$vendor/DLL/readme.txt"
mv "$work/DEVA64" "$vendor/DEVA64"
configure "$vendor" >"$work/complete.log" 2>&1 || { cat "$work/complete.log"; fail "configure with a complete vendor directory"; }
log_says 'note: DLL/readme.txt: in a package folder, used by no payload file' "$work/complete.log" ||
    { cat "$work/complete.log"; fail "unused vendor file not noted"; }
log_says 'NOT checked here: the catalogue signatures and their chain to a root that Windows trusts' "$work/complete.log" ||
    fail "configure does not say what the package check leaves out"
signer_warning='warning: DEV64/ziviriz.cat: signed by keysetup test vendor, not Microsoft Windows Hardware'
grep -q "^$signer_warning" "$work/complete.log" || { cat "$work/complete.log"; fail "configure without the signer warning"; }
cmake --build "$build" --target keysetup >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
listing=$build/bin/keysetup.payload.txt
printf '%s\n' "$files" | while read -r type id name; do
    file=$(find "$vendor" -type f -ipath "$vendor/$type/$name")
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
        "$listing" &&
    grep -q '^DEV64 196 DrvInst64.exe .* | pe windows-gui x86-64; .*chain not verified here.*; signed by Common Name: keysetup test vendor$' \
        "$listing" &&
    grep -q "^# vendor directory: $vendor, sha256 [0-9a-f]\{64\} over its 19 files\$" "$listing" ||
    { cat "$listing"; fail "listing does not say what was checked"; }
! grep -q placeholder "$listing" || fail "placeholder listed in a vendor build"
echo "consistent vendor directory, some names in lower case, embedded byte for byte (INFs and both helpers" \
    "included) and listed with its checks; an unused file noted"
mv "$vendor/dev64/ziviriz.inf" "$vendor/dev64/ZIVIRIZ.inf"
mv "$vendor/dev64" "$vendor/DEV64"
mv "$vendor/DLL/ziviriz.sys" "$vendor/DLL/ZIVIRIZ.sys"
rm "$vendor/DLL/readme.txt"

# KEYSETUP_VENDOR_STRICT: the signer warning and an unsigned vendor
# DrvInst64.exe fail the configure; signed in the hardware publisher's name,
# with the helper signed, it passes, and a driver that memory integrity
# refuses fails the build.
osslsigncode remove-signature -in "$vendor/DEV64/DrvInst64.exe" -out "$work/DrvInst64.exe" >/dev/null
mv "$work/DrvInst64.exe" "$vendor/DEV64/DrvInst64.exe"
if configure "$vendor" ON >"$work/strict.log" 2>&1; then
    fail "strict configure accepted a catalogue signed by a throwaway identity and an unsigned helper"
fi
grep -q "^$signer_warning" "$work/strict.log" ||
    { cat "$work/strict.log"; fail "strict configure did not name DEV64/ziviriz.cat"; }
grep -q "^warning: DEV64/DrvInst64.exe: Authenticode signature missing" "$work/strict.log" ||
    { cat "$work/strict.log"; fail "strict configure did not name the unsigned DEV64/DrvInst64.exe"; }
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
echo "strict: the signer warning and an unsigned vendor helper fail the configure, naming DEV64/ziviriz.cat and" \
    "DEV64/DrvInst64.exe; a writable and executable section fails the build, naming DEV64/ZIVIRIZ.sys"
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

# Release mode without a vendor directory names every placeholder.
if configure "" OFF ON >"$work/placeholder.log" 2>&1; then
    fail "release configure accepted placeholders"
fi
for name in DLL/ZIVIRIZ.sys DEV64/ziviriz.cat DEVA64/ZIVIRIZ.sys DEV98/newdev.dll OLDVID98/QVUSB.SYS; do
    grep -qx " *$name" "$work/placeholder.log" || { cat "$work/placeholder.log"; fail "release: $name not named"; }
done
echo "release mode without a vendor directory refused, naming the placeholders"
configure "" >"$work/placeholder.log" 2>&1 || { cat "$work/placeholder.log"; fail "configure without vendor directory"; }
log_says PLACEHOLDER "$work/placeholder.log" || fail "no notice of placeholders"
cmake --build "$build" --target release >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
# The archive again, its inputs' times changed and the listing and the
# programs written again: the same bytes, and SHA256SUMS holds.
archive=$(echo "$build"/release/keysetup-*.zip)
mv "$archive" "$work/first.zip"
touch "$src/deploy/"* "$build/bin/keycheck.exe"
rm "$build/bin/keysetup.payload.txt" "$build/bin/keysetup.exe"
(umask 077 && cmake --build "$build" --target release >"$work/build.log" 2>&1) || { cat "$work/build.log"; fail "rebuild"; }
cmp "$work/first.zip" "$archive" || fail "a second build of the same inputs gave another archive"
mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$archive" && cd keysetup-* && sha256sum --quiet -c SHA256SUMS &&
    ls install.cmd uninstall.cmd detect.ps1 keysetup.exe keycheck.exe keysetup.payload.txt >/dev/null) ||
    fail "archive does not hold the programs, scripts and listing, or its SHA256SUMS do not verify"
echo "release archive: the same bytes from a second build, its SHA256SUMS verify"
# keysetup's build makes the two programs it carries.
for program in QV_DRVUNI.exe DrvInst64.exe DrvInstA64.exe; do
    cmp "$build/bin/$program" "$main_bin/$program" || fail "$program differs from the main build's"
done
echo "QV_DRVUNI.exe, DrvInst64.exe and DrvInstA64.exe from copied sources in another directory identical to the main build's"
if grep -q ' vendor | ' "$main_bin/keysetup.payload.txt"; then
    echo "main build embeds vendor files: its keysetup.exe not compared"
else
    # but for the source line: the copy is no git checkout
    grep -v '^# source: ' "$build/bin/keysetup.payload.txt" >"$work/listing"
    grep -v '^# source: ' "$main_bin/keysetup.payload.txt" | cmp - "$work/listing" || fail "listing differs from the main build's"
    cmp "$build/bin/keysetup.exe" "$main_bin/keysetup.exe" || fail "keysetup.exe differs from the main build's"
    echo "placeholder build from copied sources in another directory: keysetup.exe and listing identical to the main build's"
fi
rm -rf "$vendor" "$work/unpacked" "$work/first.zip"
