# uninstall_lib tests: INF matcher, stale INF purge and device removal.
add_test_program(uninstall_lib_tests
    SOURCES inf_match_test.cpp inf_purge_test.cpp device_removal_test.cpp
    LIBS drvcommon)
# INFs kept as files, which host-side checks read too.
target_compile_definitions(uninstall_lib_tests PRIVATE "KEYSETUP_TEST_DATA_DIR=\"Z:${PROJECT_SOURCE_DIR}/tests/data\"")

add_wine_test(inf_match PROGRAM uninstall_lib_tests PREFIX win32 FILTER "InfMatch*")
# The purge also works in the prefix's INF directory, where the uninstall
# tests plant their stored copies (each holding the lock of the program it
# runs), and which the uninstall's runs purge.
add_wine_test(inf_purge PROGRAM uninstall_lib_tests PREFIX win32 FILTER "InfPurge*"
    LOCKS devices keysetup_run qv_drvuni_run)
add_wine_test(hardware_id_list PROGRAM uninstall_lib_tests PREFIX win32 FILTER "HardwareIdList.*")
# The removal takes every device with the real hardware ID in the prefix.
add_wine_test(device_removal PROGRAM uninstall_lib_tests PREFIX win32 FILTER "DeviceRemoval.*"
    LOCKS devices)
