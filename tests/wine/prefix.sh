#!/bin/sh
# Creates (setup) or stops (cleanup) a private Wine prefix for the tests.
# usage: prefix.sh setup|cleanup win32|win64 DIR
set -eu
. "$(dirname "$0")/../../cmake/wine-host.sh"
action=$1 arch=$2 dir=$3
export WINEPREFIX="$dir" WINEDEBUG=-all
case "$action" in
setup)
    # Both kinds are made, and used, by 32-bit programs too.
    skip_unless_host_runs_i386
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
    mkdir -p "$dir"
    # A persistent server started first, output detached, keeps every later
    # Wine process fast and keeps ctest from waiting on the server's pipes.
    WINEARCH=$arch wineserver -p </dev/null >/dev/null 2>&1
    WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
    test -d "$dir/drive_c/windows/system32"
    ;;
cleanup)
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 setup|cleanup win32|win64 DIR" >&2
    exit 2
    ;;
esac
