# What `cmake --install` (and the .deb) puts on a machine: the programs, the menu entry, the icon
# in every size a desktop asks for, the .qob file type, the help, the man pages, the shell
# completions and the README.

# Man pages, written in scdoc under docs/man and turned into roff at build time, then gzipped as
# the man readers and Debian's rules expect (-9n: smallest, and no name or time inside).
find_program(QOB_SCDOC scdoc)
set(QOB_MAN_PAGES qob quiremail)
set(QOB_MAN_OUTPUTS)
if(QOB_SCDOC)
    foreach(page ${QOB_MAN_PAGES})
        set(source ${CMAKE_SOURCE_DIR}/docs/man/${page}.1.scd)
        set(roff ${CMAKE_BINARY_DIR}/man/${page}.1)
        set(output ${roff}.gz)
        add_custom_command(OUTPUT ${output} ${roff}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND sh -c "\"$1\" < \"$2\" > \"$3\" && gzip -9nc \"$3\" > \"$4\"" scdoc ${QOB_SCDOC}
                    ${source} ${roff} ${output}
            DEPENDS ${source}
            COMMENT "Writing the man page ${page}(1)"
            VERBATIM)
        list(APPEND QOB_MAN_OUTPUTS ${output})
    endforeach()
    add_custom_target(qob_man ALL DEPENDS ${QOB_MAN_OUTPUTS})
    install(FILES ${QOB_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(WARNING "scdoc not found: the man pages are neither built nor installed (scripts/bootstrap.sh installs it)")
endif()

# The icon: the SVG, and PNGs of the sizes menus and panels that do not scale SVG ask for.
set(QOB_ICON_SVG ${CMAKE_SOURCE_DIR}/data/icons/quire-outlook-backup.svg)
set(QOB_ICON_SIZES 16 22 24 32 48 64 128 256)
find_program(QOB_RSVG_CONVERT rsvg-convert)
if(QOB_RSVG_CONVERT)
    set(QOB_ICON_OUTPUTS)
    foreach(size ${QOB_ICON_SIZES})
        set(output ${CMAKE_BINARY_DIR}/icons/${size}x${size}/quire-outlook-backup.png)
        add_custom_command(OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
            COMMAND ${QOB_RSVG_CONVERT} --width ${size} --height ${size} --output ${output} ${QOB_ICON_SVG}
            DEPENDS ${QOB_ICON_SVG}
            COMMENT "Drawing the ${size}x${size} icon"
            VERBATIM)
        list(APPEND QOB_ICON_OUTPUTS ${output})
        install(FILES ${output} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(qob_icons ALL DEPENDS ${QOB_ICON_OUTPUTS})
else()
    message(WARNING "rsvg-convert not found: only the SVG icon is installed (scripts/bootstrap.sh installs librsvg2-bin)")
endif()

install(TARGETS quiremail qob RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/quire-outlook-backup.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QOB_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The .qob type, so that file managers offer the program for backup files.
install(FILES data/quire-outlook-backup-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME quire-outlook-backup.xml)
install(DIRECTORY data/help/ DESTINATION ${QOB_HELP_INSTALL_DIR})
install(FILES data/completion/qob.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME qob)
install(FILES data/completion/_qob DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES data/completion/qob.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quire-outlook-backup)
