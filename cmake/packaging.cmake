# Downloads made by CPack (`make dist`): the Windows program's folder as a zip,
# the Linux program as a Debian package, each with the companion checker and
# the instrument library. Both are filled from install rules.
set(velmora_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(velmora_instruments ${PROJECT_SOURCE_DIR}/instruments)
set(velmora_generated ${CMAKE_BINARY_DIR}/packaging)
set(VELMORA_MAINTAINER "Velmora developers <velmora@example.org>" CACHE STRING
    "Maintainer of the Debian package: name and e-mail address")

set(CPACK_PACKAGE_NAME Velmora)
set(CPACK_PACKAGE_VENDOR "the Velmora developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

# The copyright file, in Debian's machine-readable form: the programs' license,
# the CSV parser's in velmora-cfg and the license the library's data came
# under. `checker_path` and `instruments_path` are where velmora-cfg and the
# library lie inside the download.
function(velmora_write_copyright output checker_path instruments_path)
    set(VELMORA_CHECKER_PATH ${checker_path})
    string(CONCAT VELMORA_INSTRUMENTS_COPYRIGHT
        "\nFiles: ${instruments_path}/*\n"
        "Copyright: Pencil Research and the contributors to the MIDI Guide dataset\n"
        "           2026 the Velmora developers\n"
        "License: CC-BY-SA-4.0\n"
        " Derived from the MIDI Guide dataset by Pencil Research, CC BY-SA 4.0, and\n"
        " changed: turned into Velmora configuration files by velmora-cfg import.\n"
        " The license's full text is in ${instruments_path}/LICENSE.\n\n")
    configure_file(${velmora_packaging}/copyright.in ${output} @ONLY)
endfunction()

# configure_file with Windows line ends throughout: its NEWLINE_STYLE leaves
# the line ends inside substituted values alone, so a second pass converts.
function(velmora_configure_for_windows input output)
    configure_file(${input} ${output}.lf @ONLY)
    configure_file(${output}.lf ${output} @ONLY NEWLINE_STYLE CRLF)
endfunction()

if(WIN32)
    # The zip holds one folder, Velmora-VERSION, that is the whole
    # installation: the program reads Velmora.cfg beside itself.
    install(TARGETS Velmora velmora-cfg RUNTIME DESTINATION .)
    install(DIRECTORY ${velmora_instruments} DESTINATION .)
    # One string: set() with several would join them with ';'.
    string(CONCAT VELMORA_README_CONTENTS
        "  velmora-cfg.exe  checks a configuration file\n"
        "  instruments      ready-made configurations for many instruments\n")
    file(READ ${velmora_packaging}/windows/README-velmora-cfg.txt VELMORA_README_CHECKER)
    file(READ ${velmora_packaging}/windows/README-instruments.txt VELMORA_README_INSTRUMENTS)
    # Plain text with Windows line ends, for Notepad.
    velmora_configure_for_windows(${velmora_packaging}/windows/README.txt
                                  ${velmora_generated}/README.txt)
    velmora_write_copyright(${velmora_generated}/copyright velmora-cfg.exe instruments)
    velmora_configure_for_windows(${velmora_generated}/copyright
                                  ${velmora_generated}/COPYRIGHT.txt)
    velmora_configure_for_windows(${PROJECT_SOURCE_DIR}/LICENSE ${velmora_generated}/LICENSE.txt)
    velmora_configure_for_windows(${PROJECT_SOURCE_DIR}/examples/Velmora.cfg
                                  ${velmora_generated}/Velmora.cfg)
    install(FILES ${velmora_generated}/Velmora.cfg ${velmora_generated}/README.txt
                  ${velmora_generated}/COPYRIGHT.txt ${velmora_generated}/LICENSE.txt
            DESTINATION .)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
    # The top folder is named after the package file; the zip itself says
    # which platform it is for.
    set(CPACK_PACKAGE_FILE_NAME Velmora-${PROJECT_VERSION})
    set(CPACK_ARCHIVE_FILE_NAME Velmora-${PROJECT_VERSION}-windows-x64)
    # CPack names an archive by CPACK_ARCHIVE_FILE_NAME only when it packs
    # components: all of them go into the one archive.
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
    include(CPack)
    return()
endif()

if(NOT TARGET Velmora)
    return()
endif()

# The Debian package. Its configuration is a conffile in /etc, which dpkg
# keeps on upgrade and removal; the program reaches it through a link beside
# itself. These rules belong to the package only (EXCLUDE_FROM_ALL), and the
# package leaves out the plain install's keep-the-user's-file rule.
set(deb_only COMPONENT debian_package EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/examples/Velmora.cfg DESTINATION /etc/velmora ${deb_only})
file(MAKE_DIRECTORY ${velmora_generated}/link)
file(CREATE_LINK /etc/velmora/Velmora.cfg ${velmora_generated}/link/Velmora.cfg SYMBOLIC)
install(FILES ${velmora_generated}/link/Velmora.cfg DESTINATION ${VELMORA_INSTALL_DIR}
        ${deb_only})

velmora_write_copyright(${velmora_generated}/copyright usr/bin/velmora-cfg
                        usr/share/velmora/instruments)
string(TIMESTAMP VELMORA_RELEASE_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${velmora_packaging}/linux/changelog.in ${velmora_generated}/changelog @ONLY)

# Manual pages, for every Linux install.
string(CONCAT VELMORA_MAN_INSTRUMENTS
    ".TP\n.I /usr/share/velmora/instruments\n"
    "Ready-made configurations for many instruments: copy one over\n"
    ".I /etc/velmora/Velmora.cfg\nto use it.")
set(manual_pages velmora velmora-cfg)

# Debian wants its documents compressed, reproducibly (no name or time in
# the gzip header).
find_program(VELMORA_GZIP gzip REQUIRED)
set(compressed_documents)
foreach(page ${manual_pages})
    configure_file(${velmora_packaging}/linux/${page}.1 ${velmora_generated}/${page}.1 @ONLY)
    list(APPEND compressed_documents ${velmora_generated}/${page}.1)
endforeach()
list(APPEND compressed_documents ${velmora_generated}/changelog)
set(compressed_outputs)
foreach(document ${compressed_documents})
    add_custom_command(OUTPUT ${document}.gz
        COMMAND ${VELMORA_GZIP} -9 -n -c ${document} > ${document}.gz
        DEPENDS ${document}
        VERBATIM)
    list(APPEND compressed_outputs ${document}.gz)
endforeach()
add_custom_target(velmora_package_documents ALL DEPENDS ${compressed_outputs})

foreach(page ${manual_pages})
    install(FILES ${velmora_generated}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${velmora_generated}/copyright ${velmora_generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora ${deb_only})

set(CPACK_GENERATOR DEB)
# /etc lies outside the prefix: install into the package's root.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# One package of every component but the plain install's configuration rule.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
list(REMOVE_ITEM CPACK_COMPONENTS_ALL local_configuration)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME velmora)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Debian's synopsis: no article, no capital.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "random sounds for a MIDI synthesizer at the press of one key")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velmora sends one MIDI Control Change per sound parameter listed in its
configuration file, each with a random value from the parameter's range,
whenever F1 or its Randomize button is pressed: a new sound on the
synthesizer at every press. It sends to ALSA sequencer ports, to JACK MIDI
inputs, or to the terminal.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${velmora_packaging}/linux/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
