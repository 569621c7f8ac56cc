# Sourced by the helpers' run checks. footprint_flags BRANCH: the install
# flags that docs/footprint.md's install call row of BRANCH names, as the
# number newdev.dll is called with (newdev.h's values).
footprint_flags() {
    row=$(grep "^| $1 | install | call |" "$(dirname "$0")/../docs/footprint.md")
    flags=0
    for name in $(printf '%s' "${row##*, }" | grep -o 'INSTALLFLAG_[A-Z]*'); do
        case $name in
        INSTALLFLAG_FORCE) flags=$((flags | 1)) ;;
        INSTALLFLAG_READONLY) flags=$((flags | 2)) ;;
        INSTALLFLAG_NONINTERACTIVE) flags=$((flags | 4)) ;;
        *) echo "unknown install flag $name in docs/footprint.md" >&2; flags=-1 ;;
        esac
    done
    echo "$flags"
}
