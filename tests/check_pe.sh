#!/bin/sh
# Checks a built program's PE header and imports with objdump -p.
# usage: check_pe.sh OBJDUMP EXE ARCH(i386|i386-console|x86-64|arm64) ALLOWED_DLL...
# (i386-console: a 32-bit program of the console subsystem; the others are
# GUI programs; arm64: machine 0xAA64, read with llvm-objdump)
set -u
objdump=$1 exe=$2 arch=$3
shift 3
subsystem='00000002[[:space:]]+\(Windows GUI\)'
if [ "$arch" = i386-console ]; then
    arch=i386
    subsystem='00000003[[:space:]]+\(Windows CUI\)'
fi
fail=0
dump=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }

expect() {
    printf '%s\n' "$dump" | grep -Eq "$1" || { echo "$exe: expected /$1/"; fail=1; }
}

if [ "$arch" = i386 ]; then
    expect 'file format pei-i386'
    expect '^MajorOSystemVersion[[:space:]]+4$'
    expect '^MinorOSystemVersion[[:space:]]+0$'
    expect '^MajorSubsystemVersion[[:space:]]+4$'
    expect '^MinorSubsystemVersion[[:space:]]+0$'
elif [ "$arch" = arm64 ]; then
    expect 'file format coff-arm64'
else
    expect 'file format pei-x86-64'
fi
expect "^Subsystem[[:space:]]+$subsystem"

# ASLR and DEP: a relocatable image (relocations kept, a .reloc section)
# that asks for both; 64-bit images also for high-entropy addresses. Every
# program is Terminal-Server-aware (the system's Windows directory on a
# Remote Desktop host).
DYNAMIC_BASE=0x40 NX_COMPAT=0x100 HIGH_ENTROPY_VA=0x20 TERMINAL_SERVER_AWARE=0x8000
wanted=$((DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE))
[ "$arch" = i386 ] || wanted=$((wanted | HIGH_ENTROPY_VA))
flags=$(printf '%s\n' "$dump" | sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\)$/\1/p')
if [ -z "$flags" ] || [ $((0x$flags & wanted)) -ne $wanted ]; then
    echo "$exe: DllCharacteristics ${flags:-missing}, expected the bits of $(printf '%#x' $wanted)"
    fail=1
fi
printf '%s\n' "$dump" | grep -q 'relocations stripped' && { echo "$exe: relocations stripped"; fail=1; }
"$objdump" -h "$exe" | grep -Eq '^ +[0-9]+ \.reloc +0*[1-9a-f]' || { echo "$exe: no .reloc section"; fail=1; }

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "$exe: no imports found"; fail=1; }
for dll in $imports; do
    ok=0
    for allowed in "$@"; do
        [ "$dll" = "$(echo "$allowed" | tr 'A-Z' 'a-z')" ] && ok=1
    done
    [ $ok = 1 ] || { echo "$exe: imports $dll, which is not allowed"; fail=1; }
done
echo "$exe imports:" $imports "DllCharacteristics $flags"
[ $fail = 0 ] && echo "PE check passed"
exit $fail
