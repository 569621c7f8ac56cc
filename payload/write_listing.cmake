# Writes the listing of keysetup.exe's payload: one line per resource with
# type, ID, deployed name, size, SHA-256 and origin.
# usage: cmake -DROWS=rows.cmake -DOUTPUT=keysetup.payload.txt -P write_listing.cmake
# rows.cmake calls payload_row(TYPE ID NAME FILE ORIGIN) once per resource.

set(listing "# keysetup.exe payload: type id deployed-name size sha256 origin\n")

function(payload_row type id name file origin)
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "payload file missing: ${file}")
    endif()
    file(SIZE "${file}" size)
    file(SHA256 "${file}" hash)
    set(listing "${listing}${type} ${id} ${name} ${size} ${hash} ${origin}\n" PARENT_SCOPE)
endfunction()

include(${ROWS})
file(WRITE ${OUTPUT} "${listing}")
