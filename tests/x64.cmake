# The library's in-process tests built for x86_64 (tests/x64) and run with
# Wine's 64-bit loader in a prefix of their own.
include(ExternalProject)
set(X64_TESTS_DIR ${CMAKE_BINARY_DIR}/x64)
set(X64_TESTS_EXE ${X64_TESTS_DIR}/bin/library_tests_x64.exe)
ExternalProject_Add(library_tests_x64
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/x64
    BINARY_DIR ${X64_TESTS_DIR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-x86_64-w64-mingw32.cmake
               -DCMAKE_BUILD_TYPE=Release
    BUILD_BYPRODUCTS ${X64_TESTS_EXE}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")

set(WINE_PREFIX_x64 ${WINE_PREFIX_ROOT}/x64)
add_test(NAME prefix_x64_setup COMMAND ${PREFIX_SCRIPT} setup x64 ${WINE_PREFIX_x64})
add_test(NAME prefix_x64_cleanup COMMAND ${PREFIX_SCRIPT} cleanup x64 ${WINE_PREFIX_x64})
set_tests_properties(prefix_x64_setup PROPERTIES FIXTURES_SETUP prefix_x64 TIMEOUT 300)
set_tests_properties(prefix_x64_cleanup PROPERTIES FIXTURES_CLEANUP prefix_x64)

foreach(group bounded_strings:Bounded* platform_classification:ClassifyPlatform.*:ChooseWow64Branch.*
              mode_selection:ModeSelection.*:CommandLineTail.* inf_match:InfMatch* inf_purge:InfPurge*
              hardware_id_list:HardwareIdList.* device_removal:DeviceRemoval.*
              keycheck_judgement:KeycheckSha256.*:KeycheckJudgement.*:BranchFiles.*
              keycheck_report:KeycheckReport.*:KeycheckSetupLog.*
              install_wait:InstallWait.* deploy_scripts:DeployScripts.* system_snapshot:SystemSnapshot.*)
    string(FIND ${group} ":" colon)
    string(SUBSTRING ${group} 0 ${colon} name)
    math(EXPR colon "${colon} + 1")
    string(SUBSTRING ${group} ${colon} -1 filter)
    add_test(NAME x64_${name}
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${X64_TESTS_EXE} --gtest_filter=${filter})
    set_tests_properties(x64_${name} PROPERTIES
        FIXTURES_REQUIRED prefix_x64 ENVIRONMENT "WINEPREFIX=${WINE_PREFIX_x64}" TIMEOUT 600)
endforeach()

# The shipped DrvInst64.exe itself, in the same prefix.
add_test(NAME x64_drvinst64_run
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/drvinst64_run.sh ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
            ${CMAKE_BINARY_DIR}/payload/utf16/DEV64/ZIVIRIZ.inf ${CMAKE_BINARY_DIR}/payload/placeholder/DEV64/ziviriz.cat)
set_tests_properties(x64_drvinst64_run PROPERTIES
    FIXTURES_REQUIRED prefix_x64 ENVIRONMENT "WINEPREFIX=${WINE_PREFIX_x64}" TIMEOUT 300)
