# DrvInstA64.exe: its PE header and imports, read on the build host, and
# the program itself under Debian's arm64 Wine through qemu-user, in a
# prefix of its own (tests/wine/arm64-root.sh; the unpacked Wine is kept in
# the build tree between runs).
find_program(ARM64_OBJDUMP llvm-objdump-16 REQUIRED)
add_test(NAME pe_header_drvinsta64
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_pe.sh ${ARM64_OBJDUMP} ${DRVINSTA64_EXE} arm64 ${DrvInst64_IMPORTS})

set(ARM64_WINE_DIR ${CMAKE_BINARY_DIR}/arm64-wine)
set(ARM64_WINE_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/wine/arm64-root.sh)
# The download, the unpacking and the boot under emulation are the build's,
# once per build tree; the fixture then copies the booted prefix.
add_custom_command(OUTPUT ${ARM64_WINE_DIR}/prepared
    COMMAND ${ARM64_WINE_SCRIPT} prepare ${ARM64_WINE_DIR}
    DEPENDS ${ARM64_WINE_SCRIPT}
    COMMENT "Preparing Debian's arm64 Wine for the ARM64 helper's tests (once per build tree)"
    VERBATIM)
add_custom_target(arm64_wine ALL DEPENDS ${ARM64_WINE_DIR}/prepared)
add_test(NAME arm64_wine_setup COMMAND ${ARM64_WINE_SCRIPT} setup ${ARM64_WINE_DIR})
add_test(NAME arm64_wine_cleanup COMMAND ${ARM64_WINE_SCRIPT} cleanup ${ARM64_WINE_DIR})
set_tests_properties(arm64_wine_setup PROPERTIES FIXTURES_SETUP arm64_wine TIMEOUT 600
    SKIP_RETURN_CODE ${WINE_SKIP_RETURN_CODE})
set_tests_properties(arm64_wine_cleanup PROPERTIES FIXTURES_CLEANUP arm64_wine)

add_test(NAME arm64_drvinsta64_run
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/drvinsta64_run.sh ${ARM64_WINE_DIR} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
            ${CMAKE_BINARY_DIR}/payload/utf16/DEVA64/ZIVIRIZ.inf
            ${CMAKE_BINARY_DIR}/payload/placeholder/DEVA64/ziviriz.cat)
set_tests_properties(arm64_drvinsta64_run PROPERTIES FIXTURES_REQUIRED arm64_wine TIMEOUT 300
    SKIP_RETURN_CODE ${WINE_SKIP_RETURN_CODE})
