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
#            copy ROOT/pristine to ROOT/NAME, start the keeper there (the
#            desktop's own registry keys are then written before COMMAND's
#            first snapshot, not during it), run COMMAND there
#            (WINEPREFIX=ROOT/NAME) and stop that prefix's server; the copy
#            is removed when COMMAND passes and kept for a look when it fails
#        prefix.sh remove ROOT
#            remove ROOT/pristine and the first snapshot the runs stored
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

stop_server() {
    WINEPREFIX=$1 wineserver -k 2>/dev/null || true
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

# Copies ROOT/pristine to DIR (WINEPREFIX) and starts its server and
# Wine's services, so that they are not still starting while a test takes
# its first snapshot.
copy_pristine() {
    test -s "$1/pristine/system.reg" || { echo "no pristine prefix in $1" >&2; exit 1; }
    cp -a "$1/pristine" "$2"
    start_server
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
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
        WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml=" $boot -i </dev/null >/dev/null 2>&1
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
    copy_pristine "$root" "$dir"
    [ ! -f "$root/keeper.exe" ] || start_keeper "$root/keeper.exe"
    status=0
    "$@" || status=$?
    stop_server "$dir"
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
    rm -rf "$1/pristine" "$1/first.snapshot"
    ;;
*)
    echo "usage: $0 setup ARCH DIR [KEEPER] | cleanup ARCH DIR | pristine ARCH ROOT | run ROOT NAME COMMAND... | remove ROOT" >&2
    exit 2
    ;;
esac
