#!/bin/sh
# Creates (setup) or stops (cleanup) a private Wine prefix for the tests.
# usage: prefix.sh setup|cleanup win32|win64|x64 DIR
#   x64: a 64-bit prefix made by 64-bit programs alone, for the x86_64
#   tests; it can be made on a host that cannot start i386 programs.
set -eu
. "$(dirname "$0")/../../cmake/wine-host.sh"
action=$1 arch=$2 dir=$3
export WINEPREFIX="$dir" WINEDEBUG=-all
case "$action" in
setup)
    boot=wineboot
    case "$arch" in
    x64) arch=win64 boot="$WINE64 wineboot.exe" ;;
    *) skip_unless_host_runs_i386 ;;
    esac
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
    mkdir -p "$dir"
    # A persistent server started first, output detached, keeps every later
    # Wine process fast and keeps ctest from waiting on the server's pipes.
    WINEARCH=$arch wineserver -p </dev/null >/dev/null 2>&1
    WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml=" $boot -i </dev/null >/dev/null 2>&1
    test -d "$dir/drive_c/windows/system32"
    ;;
cleanup)
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 setup|cleanup win32|win64|x64 DIR" >&2
    exit 2
    ;;
esac
