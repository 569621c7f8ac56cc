#!/bin/sh
# ARM64 Windows programs under Debian's arm64 Wine, run by qemu-user.
# usage: arm64-root.sh prepare DIR  DIR/root: the arm64 Wine packages,
#                                   unpacked once and kept, and DIR/pristine
#                                   a prefix booted once and kept; run by the
#                                   build, once per build tree; a failure is
#                                   only reported (setup tries again)
#        arm64-root.sh setup DIR    what prepare did not do; qemu-aarch64
#                                   registered with binfmt_misc (Wine starts
#                                   its server and child processes); DIR/prefix
#                                   a fresh copy of the pristine prefix with
#                                   a persistent server
#        arm64-root.sh cleanup DIR  stops the server; unregisters (and
#                                   unmounts) what setup registered (mounted)
#        arm64-root.sh run DIR PROGRAM ARGS...
#                                   runs a program in DIR/prefix
# Where the host cannot register binfmt_misc (no qemu-user-static, not root,
# a read-only /proc), setup and every run exit 77 naming the reason.
set -eu
WINE_SKIP=77
action=$1 dir=$2
shift 2
root=$dir/root
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-aarch64
binfmt_conf=/usr/lib/binfmt.d/qemu-aarch64.conf
unavailable=$dir/unavailable
export QEMU_LD_PREFIX="$root" WINEPREFIX="$dir/prefix" WINEDEBUG=-all
wine=$root/usr/lib/wine/wine64
server=$root/usr/lib/wine/wineserver
pristine=$dir/pristine

skip() {
    echo "$*" >"$unavailable"
    echo "SKIPPED: $*" >&2
    exit $WINE_SKIP
}

register_binfmt() {
    [ -f "$binfmt_conf" ] || skip "no $binfmt_conf (package qemu-user-static), which runs the arm64 Wine"
    if [ ! -e "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
            skip "binfmt_misc is not mounted and cannot be mounted here (needs root and a writable /proc)"
        touch "$dir/binfmt.mounted"
    fi
    [ -e "$entry" ] && return 0
    cat "$binfmt_conf" 2>/dev/null >"$binfmt/register" ||
        skip "qemu-aarch64 cannot be registered with binfmt_misc here (needs root)"
    touch "$dir/binfmt.registered"
}

# What a console program of our own needs from the arm64 Wine: the loader
# and server, Wine's modules, the C library and what ntdll.so and the
# device services link. libwine's other dependencies serve display, sound,
# media, cameras and networks, which the helper never loads: leaving them
# out saves two thirds of the download and of the unpacking.
ROOT_PACKAGES="wine64 libwine libz-mingw-w64 libc6 libgcc-s1 libunwind8 liblzma5 libudev1 libusb-1.0-0"

# apt downloads the packages with state of its own (arm64 indexes only,
# nothing installed): the host's apt and dpkg configuration stay as they
# are, and wine64:arm64 never replaces the host's wine64.
unpack_root() {
    [ -e "$root/.complete" ] && return 0
    apt=$dir/apt
    rm -rf "$root" "$apt" "$pristine"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$root"
    : >"$apt/status"
    set -- -q -o APT::Architecture=arm64 -o APT::Architectures::=arm64 -o "Dir::State::Lists=$apt/lists" \
        -o "Dir::State::status=$apt/status" -o "Dir::Cache=$apt/cache" -o "Dir::Cache::archives=$apt/cache/archives"
    # Another architecture's index out of sync on the mirror fails the
    # update, not the download: that decides.
    apt-get "$@" update >"$dir/apt.log" 2>&1 || true
    (cd "$apt/cache/archives" && apt-get "$@" download $ROOT_PACKAGES) >>"$dir/apt.log" 2>&1 ||
        { cat "$dir/apt.log" >&2; exit 1; }
    for deb in "$apt"/cache/archives/*.deb; do
        dpkg-deb -x "$deb" "$root"
    done
    # The root's wineserver is a script that starts the host's amd64 server.
    ln -sf wineserver64 "$server"
    rm -rf "$apt"
    touch "$root/.complete"
}

# Booting a prefix under emulation takes half a minute: done once, its
# registry written out when its server stops.
boot_pristine() {
    [ -s "$pristine/system.reg" ] && return 0
    rm -rf "$pristine"
    mkdir -p "$pristine"
    # Started first and detached, as in prefix.sh: a reader of this
    # script's output would otherwise wait for them to end.
    WINEPREFIX="$pristine" "$server" -p </dev/null >/dev/null 2>&1
    WINEPREFIX="$pristine" WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i </dev/null >/dev/null 2>&1
    WINEPREFIX="$pristine" "$server" -k
    WINEPREFIX="$pristine" "$server" -w
    test -s "$pristine/system.reg"
}

# Unregisters (and unmounts) what register_binfmt registered (mounted).
release_binfmt() {
    if [ -e "$dir/binfmt.registered" ]; then
        echo -1 >"$entry"
        rm -f "$dir/binfmt.registered"
    fi
    if [ -e "$dir/binfmt.mounted" ]; then
        umount "$binfmt"
        rm -f "$dir/binfmt.mounted"
    fi
}

case "$action" in
prepare)
    mkdir -p "$dir"
    status=0
    (unpack_root && register_binfmt && boot_pristine) || status=$?
    release_binfmt
    if [ $status = 0 ]; then
        touch "$dir/prepared"
    else
        echo "arm64 Wine not prepared (status $status): arm64_wine_setup tries again" >&2
    fi
    ;;
setup)
    mkdir -p "$dir"
    rm -f "$unavailable"
    register_binfmt
    unpack_root
    boot_pristine
    [ -d "$WINEPREFIX" ] && "$server" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    cp -a "$pristine" "$WINEPREFIX"
    "$server" -p </dev/null >/dev/null 2>&1
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1
    test -d "$WINEPREFIX/drive_c/windows/system32"
    ;;
cleanup)
    [ -x "$server" ] && [ -d "$WINEPREFIX" ] && "$server" -k 2>/dev/null || true
    release_binfmt
    ;;
run)
    if [ -e "$unavailable" ]; then
        echo "SKIPPED: $(cat "$unavailable")" >&2
        exit $WINE_SKIP
    fi
    exec "$wine" "$@"
    ;;
*)
    echo "usage: $0 prepare DIR | setup DIR | cleanup DIR | run DIR PROGRAM ARGS..." >&2
    exit 2
    ;;
esac
