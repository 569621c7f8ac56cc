#!/bin/sh
# Fails when a shipped 32-bit program holds an instruction that a 486 (and
# so a Pentium MMX, K6-2 or Cyrix of the Windows 98 era, for most of them)
# cannot run: CMOV, FCMOV and FCOMI, CMPXCHG8B, RDTSC and the other model
# registers' instructions, SYSENTER, FXSAVE, MMX, SSE and later, multi-byte
# NOP. Each is named with the program and the function, found in the link
# map (the program itself is stripped).
# usage: check_486.sh OBJDUMP EXE MAP
set -u
objdump=$1 exe=$2 map=$3
[ -r "$map" ] || { echo "$exe: no link map $map"; exit 1; }
listing=$("$objdump" -d --no-show-raw-insn "$exe") || { echo "cannot disassemble $exe"; exit 1; }

# Function starts from the map: input sections of their own (.text$NAME,
# -ffunction-sections) and global symbols (the runtime's objects).
# mawk has no strtonum.
hex='function hex(s,   v, i) { v = 0; s = tolower(s); sub(/^0x/, "", s)
    for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return v }'
# A long section name stands alone, its address on the next line.
starts=$(mktemp)
trap 'rm -f "$starts"' EXIT
awk "$hex"'
    pending != "" && $1 ~ /^0x/ { printf "%.0f %s\n", hex($1), pending }
    { pending = "" }
    $1 ~ /^\.text[$.]/ && NF == 1 { pending = substr($1, 7); next }
    $1 ~ /^\.text[$.]/ && $2 ~ /^0x/ { printf "%.0f %s\n", hex($2), substr($1, 7); next }
    NF == 2 && $1 ~ /^0x[0-9a-f]+$/ && $2 !~ /^[.*(]/ && $2 !~ /=/ { printf "%.0f %s\n", hex($1), $2 }
' "$map" | sort -n -u >"$starts"

found=$(printf '%s\n' "$listing" | awk -v starts="$starts" -v exe="$exe" "$hex"'
    BEGIN {
        n = 0
        while ((getline line < starts) > 0) { n++; split(line, f, " "); addr[n] = f[1] + 0; name[n] = f[2] }
        beyond486 = "^(cmov|fcmov|fcomi|fucomi|cmpxchg8b|rdtsc|rdpmc|rdmsr|wrmsr|sysenter|sysexit|" \
                    "fxsave|fxrstor|emms|femms|prefetch|movnt|clflush|lfence|mfence|sfence|ldmxcsr|stmxcsr|" \
                    "nopw|nopl)"
    }
    function owner(a,   lo, hi, mid) {
        lo = 1; hi = n
        if (n == 0 || a < addr[1]) return "?"
        while (lo < hi) { mid = int((lo + hi + 1) / 2); if (addr[mid] <= a) lo = mid; else hi = mid - 1 }
        return name[lo]
    }
    /^ *[0-9a-f]+:\t/ {
        split($0, part, "\t")
        text = part[2]
        mnemonic = text; sub(/ .*/, "", mnemonic)
        if (mnemonic ~ beyond486 || text ~ /%[xyz]?mm[0-9]/ || (mnemonic == "nop" && text ~ /nop +[^ ]/)) {
            location = part[1]; sub(/^ */, "", location); sub(/:$/, "", location)
            printf "%s: %s in %s at 0x%s\n", exe, text, owner(hex(location)), location
        }
    }
')
if [ -n "$found" ]; then
    printf '%s\n' "$found"
    echo "$exe: $(printf '%s\n' "$found" | wc -l) instruction(s) a 486 cannot run"
    exit 1
fi
echo "$exe: every instruction runs on a 486"
