#!/bin/sh
# Checks a built program's PE header and imports with objdump -p.
# usage: check_pe.sh OBJDUMP EXE ARCH(i386|x86-64) ALLOWED_DLL...
set -u
objdump=$1 exe=$2 arch=$3
shift 3
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
else
    expect 'file format pei-x86-64'
fi
expect '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)'

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "$exe: no imports found"; fail=1; }
for dll in $imports; do
    ok=0
    for allowed in "$@"; do
        [ "$dll" = "$(echo "$allowed" | tr 'A-Z' 'a-z')" ] && ok=1
    done
    [ $ok = 1 ] || { echo "$exe: imports $dll, which is not allowed"; fail=1; }
done
echo "$exe imports:" $imports
[ $fail = 0 ] && echo "PE check passed"
exit $fail
