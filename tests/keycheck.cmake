# keycheck.exe: its judgement in process (also in the x86_64 tests), and
# the program itself against the states an install and an uninstall leave.
set(keycheck_dir ${PROJECT_SOURCE_DIR}/keycheck)
add_test_program(keycheck_tests
    SOURCES install_check_test.cpp keycheck_test.cpp keycheck_report_test.cpp setup_log_test.cpp deploy_test.cpp
            ${keycheck_dir}/setup_log.cpp ${keycheck_dir}/log_sections.cpp ${keycheck_dir}/section_printing.cpp
            ${keycheck_dir}/report.cpp ${keycheck_dir}/console_window.cpp
    LIBS drvcommon)
target_compile_definitions(keycheck_tests PRIVATE "KEYSETUP_DEPLOY_DIR=\"Z:${PROJECT_SOURCE_DIR}/deploy\""
    "KEYSETUP_FOOTPRINT_DOC=\"Z:${PROJECT_SOURCE_DIR}/docs/footprint.md\"")
target_include_directories(keycheck_tests PRIVATE ${PROJECT_SOURCE_DIR}/installer ${keycheck_dir})
add_dependencies(keycheck_tests keycheck keysetup QV_DRVUNI drvinst64)
add_wine_test(keycheck_judgement PROGRAM keycheck_tests PREFIX win32 FILTER "KeycheckSha256.*:KeycheckJudgement.*:BranchFiles.*:KeycheckReport.*:KeycheckSetupLog.*")
# The Windows 98/Me case plants a device record, which the install's Windows
# 98/Me reset deletes: it holds that database's lock too.
add_wine_test(keycheck_states PROGRAM keycheck_tests PREFIX win32 FILTER "Keycheck.EachStateGivesItsCode:Keycheck.Win98*:Keycheck.NamesTheEmulatedWindows"
    LOCKS "newdev;devices;keysetup_run;qv_drvuni_run;uninstall_entry;win9x_database")
add_wine_test(keycheck_wow64 PROGRAM keycheck_tests PREFIX win64 FILTER "Keycheck.Wow64*"
    LOCKS "newdev;devices;keysetup_run;qv_drvuni_run;uninstall_entry")
# The deployment scripts as a tool runs them under WOW64 (32-bit cmd.exe),
# with the 64-bit newdev.dll double storing the package after a delay.
add_wine_test(deploy_wow64 PROGRAM keycheck_tests PREFIX win64 FILTER "Deploy.*" ENV "WINEDLLOVERRIDES=newdev=n"
    LOCKS "newdev;devices;keysetup_run;qv_drvuni_run;uninstall_entry")
