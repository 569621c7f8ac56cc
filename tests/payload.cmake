# payload tests: the resources keysetup.exe carries, writing them out, the
# pause before an overwrite, and the uninstall entry.

# The files the build embedded, as rows for the test program.
set(PAYLOAD_TEST_INCLUDE_DIR ${CMAKE_CURRENT_BINARY_DIR}/payload)
file(CONFIGURE OUTPUT ${PAYLOAD_TEST_INCLUDE_DIR}/payload_sources.inc @ONLY
    CONTENT "${KEYSETUP_PAYLOAD_TEST_ROWS}")

add_test_program(payload_tests
    SOURCES payload_test.cpp registration_test.cpp
    LIBS installer_core setupapi)
target_include_directories(payload_tests PRIVATE ${PAYLOAD_TEST_INCLUDE_DIR})
add_dependencies(payload_tests keysetup payload_listing)

add_wine_test(payload_extraction PROGRAM payload_tests PREFIX win32 FILTER "PayloadExtraction.*")
# Reported as skipped where Wine opens read-only files for writing (as root).
add_wine_test(payload_read_only PROGRAM payload_tests PREFIX win32 FILTER "PayloadReadOnly.*")
set_tests_properties(payload_read_only PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
# Under a file size limit (ulimit -f counts 512-byte blocks) a write stops
# short; SIGXFSZ is ignored so that write returns instead of killing Wine.
set(PAYLOAD_FILE_SIZE_BLOCKS 8)
math(EXPR PAYLOAD_FILE_SIZE_LIMIT "${PAYLOAD_FILE_SIZE_BLOCKS} * 512")
add_test(NAME payload_short_write
    COMMAND sh -c "trap '' XFSZ; ulimit -f ${PAYLOAD_FILE_SIZE_BLOCKS}; exec \"$0\" \"$@\""
            ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh $<TARGET_FILE:payload_tests>
            --gtest_filter=PayloadShortWrite.*)
set_tests_properties(payload_short_write PROPERTIES
    FIXTURES_REQUIRED prefix_win32
    ENVIRONMENT "WINEPREFIX=${WINE_PREFIX_win32};KEYSETUP_BIN_DIR=${WINE_BIN_DIR};PAYLOAD_FILE_SIZE_LIMIT=${PAYLOAD_FILE_SIZE_LIMIT}"
    TIMEOUT 600 SKIP_RETURN_CODE ${WINE_SKIP_RETURN_CODE})
add_wine_test(payload_catalogue PROGRAM payload_tests PREFIX win32 FILTER "PayloadCatalogue.*")
add_wine_test(payload_wait PROGRAM payload_tests PREFIX win32 FILTER "PayloadWait.*")
# Depends on the INF model matcher of the uninstall side.
add_wine_test(payload_inf_match PROGRAM payload_tests PREFIX win32 FILTER "PayloadInfMatch.*")

add_wine_test(uninstall_registration_win32 PROGRAM payload_tests PREFIX win32 FILTER "Registration.*"
    LOCKS uninstall_entry)
add_wine_test(uninstall_registration_win64 PROGRAM payload_tests PREFIX win64
    FILTER "Registration.*:RegistrationView.*" LOCKS uninstall_entry)

# The vendor package check against a test vendor directory the test makes
# (tiny drivers, INFs, catalogues signed with a throwaway key), consistent
# and with one fault of each kind; host-side, no Wine.
add_test(NAME payload_vendor_package
    COMMAND ${PROJECT_SOURCE_DIR}/tests/vendor_package_test.sh ${KEYSETUP_PYTHON3} ${PROJECT_SOURCE_DIR}
            ${CMAKE_BINARY_DIR}/vendor-package-check)
set_tests_properties(payload_vendor_package PROPERTIES TIMEOUT 600)

# KEYSETUP_VENDOR_DIR in a build tree of its own, made from a copy of the
# sources, with a consistent test vendor directory embedded byte for byte
# and a fault found at build time; its placeholder build is also the reproducibility check of
# keysetup.exe, QV_DRVUNI.exe and DrvInst64.exe against this build
# (configures three times and builds twice, a few seconds). The tree
# stays, built with placeholders, for the signing check (nested_tree).
set(VENDOR_CHECK_DIR ${CMAKE_BINARY_DIR}/vendor-check)
set(NESTED_TREE ${VENDOR_CHECK_DIR}/build)
add_test(NAME payload_vendor_dir
    COMMAND ${PROJECT_SOURCE_DIR}/payload/check-vendor-dir.sh ${KEYSETUP_PYTHON3} ${PROJECT_SOURCE_DIR}
            ${VENDOR_CHECK_DIR} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set_tests_properties(payload_vendor_dir PROPERTIES TIMEOUT 600 FIXTURES_SETUP nested_tree)
