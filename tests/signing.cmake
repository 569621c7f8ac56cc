# Signed builds: the vendor check's placeholder tree (its objects
# compiled already) signed with a throwaway identity, checked on the
# build host (signing_build, which also fails a wrong
# password, a missing, an unreadable and an expired identity), then
# installed and uninstalled under WOW64 in a copy of the pristine win64
# prefix (signing_wow64).
# The signed programs against the import lists of pe_header_*, one argument
# each, comma-separated.
set(signing_IMPORTS)
foreach(program keysetup QV_DRVUNI DrvInst64 keycheck)
    string(REPLACE ";" "," list "${${program}_IMPORTS}")
    list(APPEND signing_IMPORTS ${list})
endforeach()
set(SIGNING_WORK_DIR ${CMAKE_BINARY_DIR}/signing-check)
add_test(NAME signing_build
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-signing.sh ${PROJECT_SOURCE_DIR} ${SIGNING_WORK_DIR} ${NESTED_TREE}
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${MINGW32_OBJDUMP} ${MINGW64_OBJDUMP}
            ${signing_IMPORTS})
set_tests_properties(signing_build PROPERTIES FIXTURES_REQUIRED nested_tree FIXTURES_SETUP signed_build TIMEOUT 600)

add_test(NAME signing_wow64
    COMMAND ${PREFIX_SCRIPT} run ${PROOF_ROOT_win64} signed-wow64
            ${CMAKE_CURRENT_SOURCE_DIR}/signing-wine.sh ${NESTED_TREE}/bin
            ${SIGNING_WORK_DIR}/pki/ca.pem $<TARGET_FILE:foundation_tests>)
set_tests_properties(signing_wow64 PROPERTIES
    FIXTURES_REQUIRED "proof_prefix_win64;signed_build" TIMEOUT 600
    SKIP_RETURN_CODE ${WINE_SKIP_RETURN_CODE})
