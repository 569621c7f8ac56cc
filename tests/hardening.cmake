# Fault matrix, bad input and security tests.

# Planted where an unquoted command line would start it; leaves a mark.
add_executable(mark_probe WIN32 probe/mark_probe.cpp)
target_link_libraries(mark_probe PRIVATE shipped_options)

add_test_program(hardening_tests
    SOURCES hardening_faults_test.cpp hardening_race_test.cpp hardening_input_test.cpp
            hardening_guard_test.cpp hardening_security_test.cpp
    LIBS installer_core)
# Once more after the support library, whose installed_state uses its names.
target_link_libraries(hardening_tests PRIVATE drvcommon)
add_dependencies(hardening_tests keysetup QV_DRVUNI activation_probe mark_probe newdev_double32
    setupapi_double32 setupapi_store_double32)

set(HARDENING_NATIVE_NEWDEV "WINEDLLOVERRIDES=newdev=n")
# Runs of keysetup's install over the system directory, the INF store and
# the Windows 98/Me reset, with the double as newdev.dll; then the
# registered uninstall (which purges the real INF directory).
add_wine_test(hardening_install_faults PROGRAM hardening_tests PREFIX win32
    FILTER "InstallFaults.*:Win9xMissingDirectory.*" ENV ${HARDENING_NATIVE_NEWDEV}
    LOCKS newdev devices keysetup_run qv_drvuni_run win9x_database uninstall_entry)
# Both programs with the setupapi.dll double (INF parser only) and with
# setupapi.dll disabled for them; "setupapi" guards the system's file.
add_wine_test(hardening_setup_library PROGRAM hardening_tests PREFIX win32
    FILTER "SetupLibraryFaults.*" ENV ${HARDENING_NATIVE_NEWDEV}
    LOCKS newdev setupapi devices keysetup_run qv_drvuni_run win9x_database uninstall_entry)
# The uninstall with the double's store variant refusing the store removal.
add_wine_test(hardening_store_refusals PROGRAM hardening_tests PREFIX win32
    FILTER "StoreRemovalRefusals.*"
    LOCKS setupapi qv_drvuni_run uninstall_entry)
add_wine_test(hardening_uninstall_windir PROGRAM hardening_tests PREFIX win32
    FILTER "UninstallWindirFaults.*"
    LOCKS devices keysetup_run qv_drvuni_run uninstall_entry)
add_wine_test(hardening_simultaneous_starts PROGRAM hardening_tests PREFIX win32
    FILTER "SimultaneousStarts.*" ENV ${HARDENING_NATIVE_NEWDEV}
    LOCKS newdev devices keysetup_run qv_drvuni_run uninstall_entry)
add_wine_test(hardening_hostile_input PROGRAM hardening_tests PREFIX win32
    FILTER "HostileInput.*:MalformedInfCorpusGenerator.*"
    LOCKS devices qv_drvuni_run uninstall_entry)
add_wine_test(hardening_guard_pages PROGRAM hardening_tests PREFIX win32 FILTER "GuardedBuffers.*")
add_wine_test(hardening_planted_newdev PROGRAM hardening_tests PREFIX win32
    FILTER "PlantedNewdev.*" ENV ${HARDENING_NATIVE_NEWDEV}
    LOCKS newdev keysetup_run uninstall_entry)
add_wine_test(hardening_uninstall_command PROGRAM hardening_tests PREFIX win32
    FILTER "UninstallCommand.*" LOCKS devices qv_drvuni_run uninstall_entry)
