#!/bin/sh
# Runs a Windows program under Wine in the prefix the test names (WINEPREFIX).
. "$(dirname "$0")/wine-host.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
[ "$(pe_machine "$1")" = 8664 ] || skip_unless_host_runs_i386
exec wine "$@"
