#!/bin/sh
# Runs the benchmarks in a private Wine prefix and prints them, with the
# programs' sizes, as Markdown (the tables of BENCHMARKS.md).
# usage: bench/run.sh [BUILD_DIR]   (default: build, after ./build.sh)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
prefix=$(cd "$build" && pwd)/wine/bench
export WINEPREFIX="$prefix" WINEDEBUG=-all KEYSETUP_BIN_DIR="Z:$bin"

tests/wine/prefix.sh setup win32 "$prefix"
trap 'tests/wine/prefix.sh cleanup win32 "$prefix"' EXIT
# The first program that opens the desktop in a new prefix waits for it.
wine "$bin/platform_probe.exe" || true

echo "Wine $(wine --version | sed 's/^wine-//'), $(nproc) cores, $(date -u +%Y-%m-%d)"
echo
cmake/wine-run.sh "$bin/benchmarks.exe" | tr -d '\r'
echo

size() { stat -c %s "$1"; }
payload=$(awk '!/^#/ { sum += $4 } END { print sum }' "$bin/keysetup.payload.txt")
keysetup=$(size "$bin/keysetup.exe")
echo "| program | bytes |"
echo "|---|---|"
echo "| keysetup.exe | $keysetup |"
echo "| keysetup.exe less its payload ($payload bytes) | $((keysetup - payload)) |"
echo "| QV_DRVUNI.exe | $(size "$bin/QV_DRVUNI.exe") |"
echo "| DrvInst64.exe | $(size "$bin/DrvInst64.exe") |"
echo "| keycheck.exe | $(size "$bin/keycheck.exe") |"
