# The program's icon for Windows: quire-outlook-backup.ico, drawn from data/icons' SVG at the sizes
# Windows asks for (title bar and taskbar at 100 % to 200 %, Explorer's large views), in the build
# folder. quiremail.rc and qob.rc take it from there (QOB_WIN64_ICON_DIR is on their include path).
find_program(QOB_RSVG_CONVERT rsvg-convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(QOB_WIN64_ICON_DIR ${CMAKE_BINARY_DIR}/icon)
set(QOB_WIN64_ICON ${QOB_WIN64_ICON_DIR}/quire-outlook-backup.ico)
set(QOB_ICON_SVG ${CMAKE_SOURCE_DIR}/data/icons/quire-outlook-backup.svg)
set(pngs)
set(commands)
foreach(size 16 20 24 32 40 48 64 256)
    set(png ${QOB_WIN64_ICON_DIR}/${size}.png)
    list(APPEND pngs ${png})
    list(APPEND commands COMMAND ${QOB_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${QOB_ICON_SVG})
endforeach()
add_custom_command(OUTPUT ${QOB_WIN64_ICON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QOB_WIN64_ICON_DIR}
    ${commands}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/win64/make-ico.py ${QOB_WIN64_ICON} ${pngs}
    DEPENDS ${QOB_ICON_SVG} ${CMAKE_SOURCE_DIR}/scripts/win64/make-ico.py
    COMMENT "Drawing the Windows icon"
    VERBATIM)
add_custom_target(qob_win64_icon DEPENDS ${QOB_WIN64_ICON})

# A resource script that shows the icon: found on its include path, rebuilt when it changes.
function(qob_icon_resource rc)
    set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${QOB_WIN64_ICON_DIR})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${QOB_WIN64_ICON})
endfunction()
