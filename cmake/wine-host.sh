# Sourced by the Wine test scripts: can this host run what a test needs?
#
# Wine starts 32-bit Windows programs through its i386 Linux loader, so they
# need a kernel that runs 32-bit user programs. Some virtual machines' kernels
# do not ("Exec format error"); there the tests of 32-bit programs report
# themselves skipped (exit code WINE_SKIP, which ctest is told about) instead
# of failing on every entry.
WINE_SKIP=77
# Wine's 64-bit loader, which runs x86-64 programs on any host (the wine
# command itself goes through the i386 loader whenever that is installed).
WINE64=/usr/lib/wine/wine64

host_runs_i386() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Prints the COFF machine of a PE file in hex (14c i386, 8664 x86-64).
pe_machine() {
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

# Exits with WINE_SKIP when the host cannot run a 32-bit Windows program.
skip_unless_host_runs_i386() {
    host_runs_i386 && return 0
    echo "SKIPPED: this host's kernel cannot start i386 programs, which Wine needs for 32-bit Windows programs" >&2
    exit $WINE_SKIP
}
