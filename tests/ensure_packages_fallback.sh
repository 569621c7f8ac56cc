#!/bin/sh
# scripts/ensure-packages.sh against a mirror whose security suite has no
# i386 index (as while that suite is out of sync), simulated: apt reads a
# copy of this machine's lists without that index, and an empty status, so
# that every package is to be installed; apt's cache of those lists is
# built once, in WORK_DIR, for both of the script's resolutions. The plain
# install cannot be
# resolved; the script must resolve it without that suite's updates, say
# so, and leave no apt preference behind.
# usage: ensure_packages_fallback.sh SOURCE_DIR WORK_DIR
set -eu
src=$1 work=$2
lists=/var/lib/apt/lists
skip() {
    echo "skipped: $*"
    exit 77
}
ls "$lists"/*security*_InRelease >/dev/null 2>&1 || skip "no security suite in $lists (apt-get update not run)"
ls "$lists"/*_binary-i386_Packages* >/dev/null 2>&1 || skip "no i386 index in $lists"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/preferences.d"
cp "$lists"/*_InRelease "$lists"/*_Packages* "$work/lists/"
rm -f "$work"/lists/*security*_binary-i386_Packages*
: >"$work/status"
KEYSETUP_APT_DRY_RUN=1 KEYSETUP_APT_OPTIONS="-o Dir::State::Lists=$work/lists -o Dir::State::status=$work/status
    -o Dir::Etc::PreferencesParts=$work/preferences.d -o Dir::Cache::pkgcache=$work/pkgcache.bin
    -o Dir::Cache::srcpkgcache=" \
    "$src/scripts/ensure-packages.sh" >"$work/output" 2>&1 || { cat "$work/output"; echo "FAIL: not resolved"; exit 1; }
grep -q '^the mirror has no i386 index for: .*security' "$work/output" ||
    { cat "$work/output"; echo "FAIL: the out-of-sync suite was not named"; exit 1; }
grep -q '^Inst wine32:i386 ' "$work/output" || { cat "$work/output"; echo "FAIL: wine32 not installed"; exit 1; }
[ -z "$(ls -A "$work/preferences.d")" ] || { echo "FAIL: an apt preference was left behind"; exit 1; }
echo "resolved without the out-of-sync suite; no preference left"
rm -rf "$work"
