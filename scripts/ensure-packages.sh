#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
set -eu
packages="cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
binutils-mingw-w64-x86-64 googletest wine wine32 wine64 python3 python3-asn1crypto python3-pefile
openssl osslsigncode clang-16 lld-16 llvm-16 qemu-user-static"
missing=""
for p in $packages; do
    case "$p" in wine32) q="wine32:i386" ;; *) q="$p" ;; esac
    dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing (run as root to install them)" >&2
    exit 1
fi
echo "installing:$missing"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
