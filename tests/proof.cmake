# End-to-end matrix, footprint and reproducibility tests.
#
# The matrix: keysetup.exe installs and then uninstalls (by the registered
# command, or by "keysetup.exe uninstall") on every emulated Windows, each
# run in a fresh copy of a pristine prefix (build/wine/matrix-win32 and
# matrix-win64: the pristine prefix, and the copies of failed runs), checked
# against the footprint table of docs/footprint.md. The copies are private,
# so these entries take no lock.
set(FOOTPRINT_DOC "Z:${PROJECT_SOURCE_DIR}/docs/footprint.md")

add_test_program(proof_tests SOURCES proof_test.cpp LIBS drvcommon)
add_dependencies(proof_tests keysetup QV_DRVUNI drvinst64 newdev_double32 newdev_double64)

foreach(arch win32 win64)
    add_test(NAME proof_prefix_${arch}_setup COMMAND ${PREFIX_SCRIPT} pristine ${arch} ${PROOF_ROOT_${arch}}
                $<TARGET_FILE:prefix_keeper>)
    add_test(NAME proof_prefix_${arch}_cleanup COMMAND ${PREFIX_SCRIPT} remove ${PROOF_ROOT_${arch}})
    set_tests_properties(proof_prefix_${arch}_setup PROPERTIES FIXTURES_SETUP proof_prefix_${arch} TIMEOUT 300
        SKIP_RETURN_CODE ${WINE_SKIP_RETURN_CODE})
    set_tests_properties(proof_prefix_${arch}_cleanup PROPERTIES FIXTURES_CLEANUP proof_prefix_${arch})
endforeach()

# Two entries per Windows, one per way of uninstalling. The first entry of
# an arch stores its first snapshot for the others to reuse; they wait for
# it, so that no two of them walk everything side by side.
function(add_proof_tests arch version)
    foreach(way registered keysetup)
        if(way STREQUAL registered)
            set(filter EndToEnd.RegisteredUninstallCommand)
        else()
            set(filter EndToEnd.KeysetupUninstallMode)
        endif()
        set(name proof_${arch}_${version}_${way})
        add_test(NAME ${name}
            COMMAND ${PREFIX_SCRIPT} run ${PROOF_ROOT_${arch}} ${version}-${way}
                    ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh $<TARGET_FILE:proof_tests> --gtest_filter=${filter})
        set_tests_properties(${name} PROPERTIES
            FIXTURES_REQUIRED proof_prefix_${arch}
            ENVIRONMENT "KEYSETUP_BIN_DIR=${WINE_BIN_DIR};WINEDLLOVERRIDES=newdev=n;FOOTPRINT_DOC=${FOOTPRINT_DOC};PROOF_WINDOWS=${version};PROOF_FIRST_SNAPSHOT=Z:${PROOF_ROOT_${arch}}/first.snapshot"
            TIMEOUT 300 SKIP_RETURN_CODE ${WINE_SKIP_RETURN_CODE})
        if(NOT DEFINED first_proof_${arch})
            set(first_proof_${arch} ${name} PARENT_SCOPE)
            set(first_proof_${arch} ${name})
        else()
            set_tests_properties(${name} PROPERTIES DEPENDS ${first_proof_${arch}})
        endif()
    endforeach()
endfunction()

foreach(version win95 win98 winme nt40 win2k winxp win2003 vista win7 win10)
    add_proof_tests(win32 ${version})
endforeach()
# 64-bit Windows: the WOW64 branch.
foreach(version win7 win10)
    add_proof_tests(win64 ${version})
endforeach()

# The table itself, read outside any install.
add_wine_test(footprint_table PROGRAM proof_tests PREFIX win32 FILTER "FootprintTable.*"
    ENV "FOOTPRINT_DOC=${FOOTPRINT_DOC}")
