#!/bin/sh
# Runs a Windows program under Wine in the prefix the test names (WINEPREFIX).
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
