#!/bin/sh
# The tests' private Wine prefixes.
# usage: prefix.sh setup win32|win64|x64 DIR [KEEPER [ROOT]]
#            a fresh prefix in DIR with a persistent server; x64: made by
#            64-bit programs alone, for the x86_64 tests (it can be made on
#            a host that cannot start i386 programs). KEEPER, a 32-bit
#            program (tests/probe/prefix_keeper.cpp), is started detached to
#            keep Wine's desktop running for every later program. With
#            ROOT, a copy of ROOT/pristine (made by pristine below) instead
#            of a boot of its own.
#        prefix.sh cleanup ARCH DIR
#            stop DIR's server and every program in it
#        prefix.sh pristine win32|win64 ROOT [KEEPER]
#            empty ROOT (copies kept from failed runs too) and make
#            ROOT/pristine a fresh prefix with its registry written out;
#            KEEPER is kept as ROOT/keeper.exe for the runs
#        prefix.sh run ROOT NAME COMMAND...
#            copy ROOT/pristine to ROOT/NAME (the system directories'
#            files linked, see copy_pristine), start the keeper there (the
#            desktop's own registry keys are then written before COMMAND's
#            first snapshot, not during it), run COMMAND there
#            (WINEPREFIX=ROOT/NAME) and stop that prefix's server; the copy
#            is removed when COMMAND passes and kept for a look when it fails
#        prefix.sh remove ROOT
#            remove ROOT/pristine, its file list and the first snapshot
#            the runs stored
set -eu
here=$(dirname "$0")
. "$here/../../cmake/wine-host.sh"
action=$1
shift
export WINEDEBUG=-all
# How long the keeper may take to bring the desktop up (tenths of a
# second), longer on a slow host (docs/testing.md).
scale=${KEYSETUP_TEST_TIMEOUT_SCALE:-1}
case $scale in '' | *[!0-9]* | 0) scale=1 ;; esac
KEEPER_WAIT=$((600 * scale))

# Wine's boot, at every server's first program, also starts
# winemenubuilder, which writes menu entries and file associations for the
# Linux desktop: nothing a test reads, and a third of a start's CPU time.
NO_MENUS=winemenubuilder.exe=d

# Stops DIR's server and every program in it. wineserver -k polls for the
# server's end in growing steps and sees a stop that takes 0.5 s after
# 0.75 s; sending the signal alone and then waiting on the server's lock
# returns as soon as it has ended (and has written the registry out).
stop_server() {
    WINEPREFIX=$1 wineserver -k2 2>/dev/null || return 0
    WINEPREFIX=$1 timeout $((30 * scale)) wineserver -w 2>/dev/null || WINEPREFIX=$1 wineserver -k9 2>/dev/null || true
}

# A persistent server started first, and every Wine program started here,
# with output detached: whoever reads this script's output (ctest) would
# otherwise wait for them to end.
start_server() {
    wineserver -p </dev/null >/dev/null 2>&1
}

# Starts the keeper detached and waits for its mark: the desktop is up.
start_keeper() {
    mark="$WINEPREFIX/drive_c/keeper.ready"
    rm -f "$mark"
    wine "$1" 'C:\keeper.ready' </dev/null >/dev/null 2>&1 &
    waited=0
    until [ -e "$mark" ]; do
        [ $waited -lt $KEEPER_WAIT ] || { echo "the prefix keeper did not start" >&2; exit 1; }
        sleep 0.1
        waited=$((waited + 1))
    done
}

# The system directories' files, as a copy that links them must find them:
# path, size, time, mode.
system_files() {
    (cd "$1/drive_c/windows" && find system32 syswow64 -type f -printf '%p %s %T@ %m\n' 2>/dev/null | LC_ALL=C sort)
}

# Copies ROOT/pristine to DIR (WINEPREFIX) and starts its server and
# Wine's services, so that they are not still starting while a test takes
# its first snapshot. "linked": the files of the system directories (most
# of a prefix's 0.5 to 1 GB, Wine's own programs) are hard links to the
# pristine prefix's, but for those an install or a test writes over in
# place (newdev.dll, WinSCard.dll); the run checks that none of them
# changed (pristine.files).
copy_pristine() {
    pristine=$1/pristine
    test -s "$pristine/system.reg" || { echo "no pristine prefix in $1" >&2; exit 1; }
    if [ "${3:-}" = linked ]; then
        mkdir -p "$2"
        tar -C "$pristine" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 -cf - . |
            tar -C "$2" -xpf -
        for sysdir in system32 syswow64; do
            [ ! -d "$pristine/drive_c/windows/$sysdir" ] || cp -al "$pristine/drive_c/windows/$sysdir" "$2/drive_c/windows/"
        done
        find "$2/drive_c/windows/system32" "$2/drive_c/windows/syswow64" -maxdepth 1 -type f \
            \( -iname newdev.dll -o -iname winscard.dll \) 2>/dev/null | while read -r file; do
            cp -p --remove-destination "$pristine/${file#"$2"/}" "$file"
        done
    else
        cp -a "$pristine" "$2"
    fi
    start_server
    WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}$NO_MENUS" wine cmd.exe /c exit </dev/null >/dev/null 2>&1
}

case "$action" in
setup)
    arch=$1 dir=$2 keeper=${3:-} root=${4:-}
    boot=wineboot
    case "$arch" in
    x64) arch=win64 boot="$WINE64 wineboot.exe" ;;
    *) skip_unless_host_runs_i386 ;;
    esac
    export WINEPREFIX="$dir"
    stop_server "$dir"
    rm -rf "$dir"
    if [ -n "$root" ]; then
        copy_pristine "$root" "$dir"
    else
        mkdir -p "$dir"
        WINEARCH=$arch start_server
        WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml=;$NO_MENUS" $boot -i </dev/null >/dev/null 2>&1
    fi
    test -d "$dir/drive_c/windows/system32"
    [ -z "$keeper" ] || start_keeper "$keeper"
    ;;
cleanup)
    stop_server "$2"
    ;;
pristine)
    arch=$1 root=$2 keeper=${3:-}
    skip_unless_host_runs_i386
    if [ -d "$root" ]; then
        for dir in "$root"/*/; do
            [ -d "$dir" ] && stop_server "${dir%/}"
        done
    fi
    rm -rf "$root"
    mkdir -p "$root"
    "$0" setup "$arch" "$root/pristine"
    # Stopping the server writes its registry into the prefix's .reg files.
    stop_server "$root/pristine"
    test -s "$root/pristine/system.reg"
    system_files "$root/pristine" >"$root/pristine.files"
    [ -z "$keeper" ] || cp "$keeper" "$root/keeper.exe"
    ;;
run)
    root=$1 dir=$1/$2
    shift 2
    # Every run starts 32-bit programs (the test program, keysetup.exe).
    skip_unless_host_runs_i386
    stop_server "$dir"
    rm -rf "$dir"
    export WINEPREFIX="$dir"
    copy_pristine "$root" "$dir" linked
    [ ! -f "$root/keeper.exe" ] || start_keeper "$root/keeper.exe"
    status=0
    "$@" || status=$?
    stop_server "$dir"
    if ! system_files "$root/pristine" | cmp -s - "$root/pristine.files"; then
        echo "this run wrote over files it shares with the pristine prefix by hard link (give them a copy of their own in prefix.sh):" >&2
        system_files "$root/pristine" | diff "$root/pristine.files" - >&2
        status=1
    fi
    if [ $status = 0 ]; then
        rm -rf "$dir"
    else
        echo "prefix of the failed run kept: $dir" >&2
    fi
    exit $status
    ;;
remove)
    stop_server "$1/pristine"
    # and what the runs stored beside it (tests/proof_test.cpp)
    rm -rf "$1/pristine" "$1/pristine.files" "$1/first.snapshot"
    ;;
*)
    echo "usage: $0 setup ARCH DIR [KEEPER] | cleanup ARCH DIR | pristine ARCH ROOT | run ROOT NAME COMMAND... | remove ROOT" >&2
    exit 2
    ;;
esac
