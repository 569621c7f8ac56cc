# Driver activation: the newdev.dll test double, a probe that runs the
# activation from a program of its own, the activation tests and the
# 64-bit install program's header.
add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/doubles ${CMAKE_CURRENT_BINARY_DIR}/doubles)

add_executable(activation_probe WIN32 probe/activation_probe.cpp)
target_link_libraries(activation_probe PRIVATE installer_core)

add_test_program(activation_tests SOURCES activation_test.cpp LIBS installer_core)
add_dependencies(activation_tests activation_probe drvinst64 newdev_double32 newdev_double64)

# Wine loads the double only with this override in the environment the test
# program starts with (see tests/support/newdev_double.h). "newdev" guards
# the system newdev.dll, "win9x_database" the Windows 98/Me database files.
set(NATIVE_NEWDEV "WINEDLLOVERRIDES=newdev=n")
add_wine_test(activation_install_win32 PROGRAM activation_tests PREFIX win32
    FILTER "InstallDriverPackageTest.*:PlantedNewdevTest.*" ENV ${NATIVE_NEWDEV}
    LOCKS newdev win9x_database)
add_wine_test(activation_install_wow64 PROGRAM activation_tests PREFIX win64
    FILTER "InstallDriverPackageTest.*" ENV ${NATIVE_NEWDEV} LOCKS newdev win9x_database)
add_wine_test(activation_win9x_reset PROGRAM activation_tests PREFIX win32
    FILTER "Win9xResetTest.*" LOCKS win9x_database)
add_wine_test(activation_launch64 PROGRAM activation_tests PREFIX win64
    FILTER "Launch64BitInstallerTest.*" ENV ${NATIVE_NEWDEV} LOCKS newdev)
add_wine_test(activation_launch_silent PROGRAM activation_tests PREFIX win32
    FILTER "Launch64BitInstallerSilence.*")

find_program(MINGW64_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
add_test(NAME pe_header_drvinst64
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_pe.sh ${MINGW64_OBJDUMP} ${DRVINST64_EXE} x86-64
            ${DrvInst64_IMPORTS})
