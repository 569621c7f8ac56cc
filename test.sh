#!/bin/sh
# Builds and runs every test under Wine; non-zero when anything fails.
set -eu
cd "$(dirname "$0")"
./build.sh
ctest --preset default -j2 "$@"
