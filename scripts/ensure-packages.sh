#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
#
# A mirror can serve one suite's index for one architecture out of sync
# ("Mirror sync in progress?"): apt-get update then fails, and wine32
# cannot be installed, since the amd64 libraries' newer versions in that
# suite have no i386 twin there. The install is then resolved once more
# with that suite lowered under the release's own (a temporary apt
# preference, removed afterwards).
#
# KEYSETUP_APT_DRY_RUN=1 simulates (apt-get -s, no update, nothing counted
# as installed); KEYSETUP_APT_OPTIONS adds apt options (-o NAME=VALUE), so
# that a test can point apt at a copy of its lists and status.
set -eu
packages="cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
binutils-mingw-w64-x86-64 googletest wine wine32 wine64 python3 python3-asn1crypto python3-pefile
openssl osslsigncode clang-16 lld-16 llvm-16 qemu-user-static"
dry_run=${KEYSETUP_APT_DRY_RUN:-0}
apt_options=${KEYSETUP_APT_OPTIONS:-}
# Tries of apt-get update, and seconds between them.
UPDATE_TRIES=3
UPDATE_PAUSE=10

missing_packages() {
    for p in $packages; do
        case "$p" in wine32) q="wine32:i386" ;; *) q="$p" ;; esac
        if [ "$dry_run" = 1 ] ||
            ! dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed'; then
            printf ' %s' "$p"
        fi
    done
}

update_indexes() {
    try=1
    while :; do
        # shellcheck disable=SC2086
        apt-get $apt_options update -q && return 0
        [ $try -lt $UPDATE_TRIES ] || break
        echo "apt-get update failed (try $try of $UPDATE_TRIES); trying again in $UPDATE_PAUSE s"
        sleep $UPDATE_PAUSE
        try=$((try + 1))
    done
    echo "apt-get update still fails; going on with the indexes that could be read"
}

# The suites whose lists hold an index for some architecture but none for
# i386: what an out-of-sync mirror leaves.
suites_without_i386() {
    lists=$1
    for release in "$lists"/*_dists_*_InRelease; do
        [ -e "$release" ] || continue
        stem=${release%_InRelease}
        if ls "$stem"_*_binary-*_Packages* >/dev/null 2>&1 &&
            ! ls "$stem"_*_binary-i386_Packages* >/dev/null 2>&1; then
            suite=${stem##*_dists_}
            printf ' %s' "$(printf '%s' "$suite" | tr _ /)"
        fi
    done
}

install_packages() {
    simulate=""
    [ "$dry_run" = 1 ] && simulate=-s
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get $apt_options $simulate install -y -q \
        --no-install-recommends $missing
}

# Installs with each suite named lowered under the release's own suite.
install_without() {
    eval "$(apt-config $apt_options shell PREFERENCES Dir::Etc::PreferencesParts/d)"
    preference="${PREFERENCES}keysetup-out-of-sync-suites.pref"
    trap 'rm -f "$preference"' EXIT INT TERM
    : >"$preference"
    for suite in $1; do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\n' "$suite" >>"$preference"
    done
    status=0
    install_packages || status=$?
    rm -f "$preference"
    trap - EXIT INT TERM
    return $status
}

missing=$(missing_packages)
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ] && [ "$dry_run" != 1 ]; then
    echo "missing packages:$missing (run as root to install them)" >&2
    exit 1
fi
echo "installing:$missing"
if [ "$dry_run" != 1 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    update_indexes
fi
install_packages && exit 0
eval "$(apt-config $apt_options shell LISTS Dir::State::Lists/d)"
stale=$(suites_without_i386 "$LISTS")
if [ -z "$stale" ]; then
    echo "the packages cannot be installed" >&2
    exit 1
fi
echo "the mirror has no i386 index for:$stale; installing without those suites' updates"
install_without "$stale"
echo "installed against the release's own suites; the temporary apt preference is removed"
