# ARM64 Windows code, built beside the 32-bit programs: clang and lld for
# aarch64-w64-mingw32 against mingw-w64's headers, with no runtime library
# and no start-up code. Each DLL the code calls gets an import library made
# from a .def file that lists the functions it calls, nothing more.
#
# Exported:
#     ARM64_CLANG, ARM64_COMPILE_OPTIONS, ARM64_LINK_OPTIONS
#     arm64_import_libraries(VAR DIR DEF...)  VAR: the import libraries made
#                                             in DIR, one per .def file
find_program(ARM64_CLANG clang-16 REQUIRED)
find_program(ARM64_DLLTOOL llvm-dlltool-16 REQUIRED)
find_program(ARM64_LLD ld.lld-16 REQUIRED)

# The options of the 32-bit programs, for aarch64; the headers are
# mingw-w64's, nothing comes from a C library built for the host.
set(ARM64_COMPILE_OPTIONS --target=aarch64-w64-mingw32 -isystem /usr/share/mingw-w64/include -ffreestanding
    -Os -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-threadsafe-statics -DWIN32_LEAN_AND_MEAN
    -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections -fdata-sections)
# Stripped, without a link time stamp (byte-identical rebuilds), with the
# header checksum that GNU ld writes for the other programs and a signature
# keeps (lld writes none unless asked, through to its COFF linker).
set(ARM64_LINK_OPTIONS -fuse-ld=lld-16 -nostdlib -s -Wl,--gc-sections -Wl,--no-insert-timestamp
    -Wl,-Xlink=-release)

function(arm64_import_libraries var dir)
    set(libraries "")
    foreach(def IN LISTS ARGN)
        get_filename_component(name ${def} NAME_WE)
        set(library ${dir}/lib${name}.a)
        add_custom_command(
            OUTPUT ${library}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            COMMAND ${ARM64_DLLTOOL} -m arm64 -d ${def} -l ${library}
            DEPENDS ${def}
            COMMENT "ARM64 import library ${name}"
            VERBATIM)
        list(APPEND libraries ${library})
    endforeach()
    set(${var} ${libraries} PARENT_SCOPE)
endfunction()
