#!/bin/sh
# Checks that the code of a program entered without the runtime's start-up
# needs none of it: no static constructors or destructors (nothing would run
# them), no atexit, no argv or environ of the start-up code.
# usage: check_no_startup.sh OBJDUMP OBJECT_OR_ARCHIVE...
set -u
objdump=$1
nm=${objdump%objdump}nm
shift
fail=0
for file in "$@"; do
    sections=$("$objdump" -h "$file" | grep -Eo ' \.(ctors|dtors|init_array|fini_array|CRT)[^ ]*' | sort -u)
    [ -z "$sections" ] || { echo "$file: start-up sections:" $sections; fail=1; }
    needs=$("$nm" -u "$file" | grep -Eo '[^ ]*(atexit|_onexit|__getmainargs|__p___argv|__argc|__argv|_environ|__initenv)$' | sort -u)
    [ -z "$needs" ] || { echo "$file: needs start-up:" $needs; fail=1; }
done
[ $fail = 0 ] && echo "no start-up needed by:" "$@"
exit $fail
