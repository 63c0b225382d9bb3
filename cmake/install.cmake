# `cmake --install`: the Linux program and its configuration in a folder of
# their own (the program reads Velmora.cfg beside itself), a `velmora`
# command on the PATH, and a desktop menu entry with its icon; `velmora-cfg`
# and the instrument library.
if(WIN32)
    return()
endif()
include(GNUInstallDirs)

# The configuration companion on the PATH, and the instrument library.
install(TARGETS velmora-cfg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY instruments/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/instruments)

if(NOT TARGET Velmora)
    return()
endif()
set(VELMORA_INSTALL_DIR lib/velmora CACHE STRING
    "Folder of the program and its configuration, relative to the prefix")

install(TARGETS Velmora RUNTIME DESTINATION ${VELMORA_INSTALL_DIR})
# The configuration is the user's to edit: an existing one stays as it is.
# (The Debian package has its own rule: see packaging.cmake.)
install(CODE "
    set(config \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VELMORA_INSTALL_DIR}/Velmora.cfg\")
    if(EXISTS \"\${config}\")
        message(STATUS \"Keeping: \${config}\")
    else()
        file(INSTALL \"${PROJECT_SOURCE_DIR}/examples/Velmora.cfg\"
             DESTINATION \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VELMORA_INSTALL_DIR}\")
    endif()"
    COMPONENT local_configuration)

# The command is a relative link to the program, which finds its
# configuration through its own resolved path.
file(RELATIVE_PATH program_from_bin /${CMAKE_INSTALL_BINDIR} /${VELMORA_INSTALL_DIR}/Velmora)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/install)
file(CREATE_LINK ${program_from_bin} ${CMAKE_CURRENT_BINARY_DIR}/install/velmora SYMBOLIC)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/velmora DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES packaging/linux/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The menu icon is the dialog's output icon, drawn larger without blurring.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(velmora_icon_to_png packaging/linux/icon-to-png.cpp)
target_link_libraries(velmora_icon_to_png PRIVATE Qt6::Core Qt6::Gui)
set(icon_sizes 32 64 128)
set(icon_files)
foreach(size ${icon_sizes})
    list(APPEND icon_files ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}.png)
endforeach()
add_custom_command(
    OUTPUT ${icon_files}
    COMMAND velmora_icon_to_png ${PROJECT_SOURCE_DIR}/res/output.ico
            ${CMAKE_CURRENT_BINARY_DIR}/icons ${icon_sizes}
    DEPENDS velmora_icon_to_png ${PROJECT_SOURCE_DIR}/res/output.ico
    COMMENT "Drawing the menu icon"
    VERBATIM)
add_custom_target(velmora_menu_icons ALL DEPENDS ${icon_files})
foreach(size ${icon_sizes})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME velmora.png)
endforeach()
