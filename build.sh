#!/bin/sh
# Installs what the build lacks, then configures and builds into build/.
set -eu
cd "$(dirname "$0")"
scripts/ensure-packages.sh
cmake --preset default "$@"
cmake --build --preset default
