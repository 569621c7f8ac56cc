#!/bin/sh
# Writes an ASCII/UTF-8 text file as UTF-16LE with a byte order mark, the
# form Windows' setup tools write INF files in.
# usage: utf16le-bom.sh ICONV INPUT OUTPUT
set -eu
iconv=$1 input=$2 output=$3
printf '\377\376' >"$output.tmp"
"$iconv" -f UTF-8 -t UTF-16LE "$input" >>"$output.tmp"
mv -f "$output.tmp" "$output"
