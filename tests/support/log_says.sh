# Sourced by the build-host checks. log_says PATTERN LOG: whether LOG holds
# PATTERN (grep's basic form), read whole with its lines joined: CMake wraps
# a long error message over lines wherever a long path puts the breaks.
log_says() {
    tr '\n' ' ' <"$2" | tr -s ' ' | grep -q -- "$1"
}
