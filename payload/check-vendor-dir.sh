#!/bin/sh
# Checks KEYSETUP_VENDOR_DIR in a build of its own: a vendor directory that
# lacks a file fails the configure naming that file; a complete one is
# embedded and listed with origin "vendor"; switched back to placeholders,
# the build gives the same keysetup.exe and listing as the main build.
# That build is also the reproducibility check: made from a copy of the
# sources in another directory, into another build directory, it must give
# keysetup.exe, QV_DRVUNI.exe and DrvInst64.exe byte for byte as the main
# build did.
# usage: check-vendor-dir.sh SOURCE_DIR WORK_DIR MAIN_BIN_DIR
set -eu
main_src=$1 work=$2 main_bin=$3
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

# type id name of every vendor file
files='DLL 165 ziviriz.cat
DLL 166 ZIVIRIZ.sys
DEV64 194 ZIVIRIZ.sys
DEV64 195 ziviriz.cat
DEV98 185 newdev.dll
DEV98 186 WinSCard.dll
DEV98 187 ziviriz.sys
OLDVID 199 QVUSB.SYS
OLDVID98 201 QVUSB.SYS'

make_vendor_file() {
    mkdir -p "$vendor/$1"
    printf 'vendor test file %s/%s\r\n' "$1" "$2" >"$vendor/$1/$2"
}

configure() {
    cmake -S "$src" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "-DKEYSETUP_VENDOR_DIR=$1"
}

fail() {
    echo "FAIL: $*"
    exit 1
}

printf '%s\n' "$files" | while read -r type id name; do
    [ "$type/$name" = OLDVID98/QVUSB.SYS ] || make_vendor_file "$type" "$name"
done
if configure "$vendor" >"$work/incomplete.log" 2>&1; then
    fail "configure accepted a vendor directory without OLDVID98/QVUSB.SYS"
fi
grep -q 'OLDVID98/QVUSB.SYS' "$work/incomplete.log" || { cat "$work/incomplete.log"; fail "missing file not named"; }
echo "incomplete vendor directory refused, naming OLDVID98/QVUSB.SYS"

make_vendor_file OLDVID98 QVUSB.SYS
configure "$vendor" >"$work/complete.log" 2>&1 || { cat "$work/complete.log"; fail "configure with a complete vendor directory"; }
cmake --build "$build" --target keysetup >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
listing=$build/bin/keysetup.payload.txt
printf '%s\n' "$files" | while read -r type id name; do
    file=$vendor/$type/$name
    size=$(wc -c <"$file")
    hash=$(sha256sum "$file" | cut -d' ' -f1)
    grep -qx "$type $id $name $size $hash vendor" "$listing" || { cat "$listing"; fail "$type $id not listed as $file"; }
    grep -aq "vendor test file $type/$name" "$build/bin/keysetup.exe" || fail "$type/$name not embedded"
done
! grep -q placeholder "$listing" || fail "placeholder listed in a vendor build"
echo "complete vendor directory embedded and listed"

configure "" >"$work/placeholder.log" 2>&1 || { cat "$work/placeholder.log"; fail "configure without vendor directory"; }
grep -q PLACEHOLDER "$work/placeholder.log" || fail "no notice of placeholders"
cmake --build "$build" --target keysetup >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
# keysetup's build makes the two programs it carries.
for program in QV_DRVUNI.exe DrvInst64.exe; do
    cmp "$build/bin/$program" "$main_bin/$program" || fail "$program differs from the main build's"
done
echo "QV_DRVUNI.exe and DrvInst64.exe from copied sources in another directory identical to the main build's"
if grep -q ' vendor$' "$main_bin/keysetup.payload.txt"; then
    echo "main build embeds vendor files: its keysetup.exe not compared"
else
    cmp "$build/bin/keysetup.payload.txt" "$main_bin/keysetup.payload.txt" || fail "listing differs from the main build's"
    cmp "$build/bin/keysetup.exe" "$main_bin/keysetup.exe" || fail "keysetup.exe differs from the main build's"
    echo "placeholder build from copied sources in another directory: keysetup.exe and listing identical to the main build's"
fi
rm -rf "$work"
