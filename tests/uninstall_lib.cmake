# uninstall_lib tests
