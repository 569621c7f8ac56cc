#!/bin/sh
# Runs a Windows program under Wine in the prefix the test names (WINEPREFIX).
. "$(dirname "$0")/wine-host.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ "$(pe_machine "$1")" = 8664 ]; then
    export WINELOADER="$WINE64"
    exec "$WINE64" "$@"
fi
skip_unless_host_runs_i386
exec wine "$@"
