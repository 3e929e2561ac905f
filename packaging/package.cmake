# What `cmake --install` puts where, and the Debian package cpack makes of it.
# The programs' own install() rules sit with their targets (console/, gui/, sim/).

set(FLASHKIT_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(FLASHKIT_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# Debian keeps manuals and changelogs gzip'd at -9, without name or time
# stamp, so the same sources give the same bytes.
set(FLASHKIT_GZIPPED)
function(flashkit_gzip source name)
  set(plain ${FLASHKIT_PACKAGING_OUT}/${name})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND gzip -9nf ${plain}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND FLASHKIT_GZIPPED ${plain}.gz)
  set(FLASHKIT_GZIPPED ${FLASHKIT_GZIPPED} PARENT_SCOPE)
endfunction()

foreach(program linkxfer flashpanel flashkit devsim)
  flashkit_gzip(${FLASHKIT_PACKAGING_DIR}/man/${program}.1 ${program}.1)
  install(FILES ${FLASHKIT_PACKAGING_OUT}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# A package made from the project's own tree is native: its version is the
# project's, with no Debian revision, and its changelog is changelog.gz.
# The newest entry has to be this version's.
file(STRINGS ${FLASHKIT_PACKAGING_DIR}/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^flashkit \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${changelog_top}': "
                      "add an entry for version ${PROJECT_VERSION}")
endif()
flashkit_gzip(${FLASHKIT_PACKAGING_DIR}/changelog changelog)
flashkit_gzip(${CMAKE_SOURCE_DIR}/README.md README.md)
install(FILES ${FLASHKIT_PACKAGING_OUT}/README.md.gz ${FLASHKIT_PACKAGING_OUT}/changelog.gz
              ${FLASHKIT_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_target(flashkit_package_files ALL DEPENDS ${FLASHKIT_GZIPPED})

# udev reads rules from <prefix>/lib/udev/rules.d, never from a multiarch
# library folder.
install(FILES ${FLASHKIT_PACKAGING_DIR}/udev/60-flashkit.rules DESTINATION lib/udev/rules.d)

# The app icon goes under its drawn size, read from the PNG header (IHDR:
# width and height, 32 bits each, from byte 16).
set(app_icon ${CMAKE_SOURCE_DIR}/gui/resources/icon128_app.png)
file(READ ${app_icon} icon_size OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING ${icon_size} 0 8 icon_width)
string(SUBSTRING ${icon_size} 8 8 icon_height)
math(EXPR icon_width "0x${icon_width}")
math(EXPR icon_height "0x${icon_height}")
install(FILES ${app_icon}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${icon_width}x${icon_height}/apps
        RENAME flashpanel.png)
install(FILES ${FLASHKIT_PACKAGING_DIR}/flashpanel.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME flashkit)
set(CPACK_PACKAGE_VENDOR "flashkit developers")
set(CPACK_PACKAGE_CONTACT "flashkit developers <maintainers@users.noreply.c-seed-6808ecc9.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware downloader for microcontroller boards over serial and USB")
set(CPACK_PACKAGE_DESCRIPTION
    "flashkit loads firmware images into boards built around a microcontroller.
linkxfer, a console tool, sends a file with YMODEM or XMODEM over a COM port
or a USB bulk device after asking the board to enter its download mode,
receives a file with XMODEM or YMODEM, and captures a board's log output.
flashpanel, a Qt dialog, starts linkxfer, writes an image into an STM32's
flash through its serial bootloader, or sends it over USB in framed packets.
devsim simulates the boards, the microcontroller and the USB devices, so the
tools can be tried without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-nanum)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
