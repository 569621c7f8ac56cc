# Writes the listing of keysetup.exe's payload: one line per resource with
# type, ID, deployed name, size, SHA-256, origin and, after "|", what the
# package check found for that file.
# usage: cmake -DROWS=rows.cmake -DOUTPUT=keysetup.payload.txt [-DNOTES=checks.txt] -P write_listing.cmake
# rows.cmake calls payload_row(TYPE ID NAME FILE ORIGIN) once per resource;
# checks.txt holds "TYPE/NAME<TAB>notes" lines (none in a placeholder build).

set(listing "# keysetup.exe payload: type id deployed-name size sha256 origin | checks\n")

if(NOTES)
    file(STRINGS "${NOTES}" note_lines)
    foreach(line IN LISTS note_lines)
        if(line MATCHES "^([^\t]+)\t(.*)$")
            set("checks_${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
        endif()
    endforeach()
endif()

function(payload_row type id name file origin)
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "payload file missing: ${file}")
    endif()
    file(SIZE "${file}" size)
    file(SHA256 "${file}" hash)
    if(origin STREQUAL "placeholder")
        set(checks "placeholder, not checked")
    elseif(DEFINED "checks_${type}/${name}")
        set(checks "${checks_${type}/${name}}")
    else()
        set(checks "not checked")
    endif()
    set(listing "${listing}${type} ${id} ${name} ${size} ${hash} ${origin} | ${checks}\n" PARENT_SCOPE)
endfunction()

include(${ROWS})
file(WRITE ${OUTPUT} "${listing}")
