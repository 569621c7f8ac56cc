# The release archive: `--target release` writes
# release/keysetup-<version>.zip in the build directory, holding in one
# folder keysetup.exe, keycheck.exe, the deploy/ scripts beside them (the
# install and uninstall commands run the keysetup.exe of their own folder),
# the payload listing, CHANGELOG.md when the sources have one, and a
# SHA256SUMS over them; byte-identical for the same files (cmake/make-release-zip.py).
# Also the configure's closing line when placeholders are embedded.

set(release_name keysetup-${KEYSETUP_VERSION})
set(release_archive ${CMAKE_BINARY_DIR}/release/${release_name}.zip)
file(GLOB deploy_scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/deploy/*)
set(release_files
    keysetup.exe=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/keysetup.exe
    keycheck.exe=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/keycheck.exe
    keysetup.payload.txt=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/keysetup.payload.txt)
set(release_inputs "")
foreach(script IN LISTS deploy_scripts)
    get_filename_component(script_name ${script} NAME)
    list(APPEND release_files ${script_name}=${script})
    list(APPEND release_inputs ${script})
endforeach()
if(EXISTS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
    list(APPEND release_files CHANGELOG.md=${PROJECT_SOURCE_DIR}/CHANGELOG.md)
    list(APPEND release_inputs ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
endif()
set(release_script ${CMAKE_CURRENT_LIST_DIR}/make-release-zip.py)
add_custom_command(
    OUTPUT ${release_archive}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/release
    COMMAND ${KEYSETUP_PYTHON3} ${release_script} ${release_archive} ${release_name} ${release_files}
    DEPENDS ${release_script} ${release_inputs} keysetup keycheck
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/keysetup.exe ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/keycheck.exe
    COMMENT "Writing release/${release_name}.zip"
    VERBATIM)
add_custom_target(release DEPENDS ${release_archive})
add_dependencies(release payload_listing)

# The last word of a configure that embeds placeholders, loud enough for a
# pipeline's log; a release build never gets here with one.
if(KEYSETUP_PLACEHOLDERS)
    list(LENGTH KEYSETUP_PLACEHOLDERS placeholder_count)
    set(signed_words "")
    if(KEYSETUP_SIGNING)
        set(signed_words " AND SIGNS THEM")
    endif()
    message(NOTICE "KEYSETUP: THIS BUILD EMBEDS ${placeholder_count} PLACEHOLDER FILES${signed_words}: "
        "IT INSTALLS NO WORKING DRIVER. NOT FOR RELEASE (see docs/release.md).")
endif()
