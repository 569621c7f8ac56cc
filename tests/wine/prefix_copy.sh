#!/bin/sh
# Runs tests in copies of a pristine Wine prefix, so that every run starts
# from the same known state, made once per ctest run.
# usage: prefix_copy.sh pristine win32|win64 ROOT
#            empty ROOT (copies kept from failed runs too) and make
#            ROOT/pristine a fresh prefix with its registry written out
#        prefix_copy.sh run ROOT NAME COMMAND...
#            copy ROOT/pristine to ROOT/NAME, run COMMAND there
#            (WINEPREFIX=ROOT/NAME) and stop that prefix's server; the copy
#            is removed when COMMAND passes and kept for a look when it fails
#        prefix_copy.sh remove ROOT
#            remove ROOT/pristine
set -eu
here=$(dirname "$0")
. "$here/../../cmake/wine-host.sh"
action=$1
shift
export WINEDEBUG=-all

stop_server() {
    WINEPREFIX=$1 wineserver -k 2>/dev/null || true
}

case "$action" in
pristine)
    arch=$1 root=$2
    skip_unless_host_runs_i386
    if [ -d "$root" ]; then
        for dir in "$root"/*/; do
            [ -d "$dir" ] && stop_server "${dir%/}"
        done
    fi
    rm -rf "$root"
    mkdir -p "$root"
    "$here/prefix.sh" setup "$arch" "$root/pristine"
    # Stopping the server writes its registry into the prefix's .reg files.
    "$here/prefix.sh" cleanup "$arch" "$root/pristine"
    test -s "$root/pristine/system.reg"
    ;;
run)
    root=$1 dir=$1/$2
    shift 2
    # Every run starts 32-bit programs (the test program, keysetup.exe).
    skip_unless_host_runs_i386
    test -s "$root/pristine/system.reg" || { echo "no pristine prefix in $root" >&2; exit 1; }
    stop_server "$dir"
    rm -rf "$dir"
    cp -a "$root/pristine" "$dir"
    export WINEPREFIX="$dir"
    # The server and Wine's services start detached from this output (so
    # that whoever reads it does not wait for them) and before the test, so
    # that they are not still starting while it takes its first snapshot.
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
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
    rm -rf "$1/pristine"
    ;;
*)
    echo "usage: $0 pristine ARCH ROOT | run ROOT NAME COMMAND... | remove ROOT" >&2
    exit 2
    ;;
esac
