# The Windows release: quire-outlook-backup-<version>-win64.zip in the build folder, holding qob.exe
# and quiremail.exe (linked statically: no DLL beside them), the help and the README. Built with the
# programs by `make windows`.
set(QOB_WIN64_ZIP ${CMAKE_BINARY_DIR}/quire-outlook-backup-${PROJECT_VERSION}-win64.zip)
set(QOB_WIN64_STAGE ${CMAKE_BINARY_DIR}/release/quire-outlook-backup-${PROJECT_VERSION}-win64)
add_custom_command(OUTPUT ${QOB_WIN64_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/release
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QOB_WIN64_STAGE}
    COMMAND ${CMAKE_STRIP} -o ${QOB_WIN64_STAGE}/qob.exe $<TARGET_FILE:qob>
    COMMAND ${CMAKE_STRIP} -o ${QOB_WIN64_STAGE}/quiremail.exe $<TARGET_FILE:quiremail>
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/README.md ${QOB_WIN64_STAGE}/README.md
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/data/help ${QOB_WIN64_STAGE}/help
    COMMAND ${CMAKE_COMMAND} -E rm -f ${QOB_WIN64_ZIP}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/release
            ${CMAKE_COMMAND} -E tar cf ${QOB_WIN64_ZIP} --format=zip quire-outlook-backup-${PROJECT_VERSION}-win64
    DEPENDS qob quiremail ${CMAKE_SOURCE_DIR}/README.md
    COMMENT "Packing ${QOB_WIN64_ZIP}"
    VERBATIM)
add_custom_target(qob_win64_zip ALL DEPENDS ${QOB_WIN64_ZIP})

# The installer, QuireOutlookBackup-<version>-setup.exe, from the same files as the zip
# (data/windows/installer.nsi; makensis is Debian's nsis package).
find_program(QOB_MAKENSIS makensis)
set(QOB_WIN64_SETUP ${CMAKE_BINARY_DIR}/QuireOutlookBackup-${PROJECT_VERSION}-setup.exe)
if(QOB_MAKENSIS)
    add_custom_command(OUTPUT ${QOB_WIN64_SETUP}
        COMMAND ${QOB_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${QOB_WIN64_STAGE}
                -DOUTFILE=${QOB_WIN64_SETUP} -DICON=${QOB_WIN64_ICON} ${CMAKE_SOURCE_DIR}/data/windows/installer.nsi
        DEPENDS ${QOB_WIN64_ZIP} ${CMAKE_SOURCE_DIR}/data/windows/installer.nsi ${QOB_WIN64_ICON}
        COMMENT "Making ${QOB_WIN64_SETUP}"
        VERBATIM)
    add_custom_target(qob_win64_setup ALL DEPENDS ${QOB_WIN64_SETUP})
else()
    message(WARNING "makensis (Debian's nsis package) not found: the Windows installer is not built")
endif()
