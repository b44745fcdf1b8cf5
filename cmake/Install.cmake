# Installing Zorbek as a desktop program (cmake --install, GNU layout) and packaging it as a
# Debian package (cpack, see scripts/package.sh).
include(GNUInstallDirs)

# The desktop's name for the program: the desktop entry, the icon and the AppStream component
# are named after it, and the program tells the desktop (setDesktopFileName).
set(ZORBEK_APP_ID "org.example.zorbek" CACHE STRING "Desktop and AppStream id of the program")
# Where the screenshots of docs/ are published, for the AppStream metadata.
set(ZORBEK_SCREENSHOT_URL "https://zorbek.example.org/screenshots" CACHE STRING
    "Address under which docs/main-window.png and the other screenshots are published")
set(ZORBEK_ICON_SIZES 16 22 24 32 48 64 128 256)

# The installed program finds its shipped files (the user guide) relative to itself.
set(ZORBEK_INSTALL_DATA_SUBDIR "${CMAKE_INSTALL_DATADIR}/zorbek")
file(RELATIVE_PATH ZORBEK_DATA_FROM_BINDIR "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}"
     "${CMAKE_INSTALL_PREFIX}/${ZORBEK_INSTALL_DATA_SUBDIR}")
set_property(SOURCE src/core/app/install_layout.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             "ZORBEK_DATA_FROM_BINDIR=\"${ZORBEK_DATA_FROM_BINDIR}\"")
target_compile_definitions(zorbek-cli PRIVATE "ZORBEK_VERSION=\"${PROJECT_VERSION}\"")

# The manual page, from the command table the program was built with.
set(ZORBEK_MAN_PAGE "${CMAKE_BINARY_DIR}/zorbek-cli.1")
# zorbek-cli hands --man, like --help, to its RTF helper when there is one: the page follows both.
set(ZORBEK_MAN_PAGE_DEPENDS zorbek-cli)
if(TARGET zorbek-cli-rtf)
  list(APPEND ZORBEK_MAN_PAGE_DEPENDS zorbek-cli-rtf)
endif()
add_custom_command(OUTPUT "${ZORBEK_MAN_PAGE}" "${ZORBEK_MAN_PAGE}.gz"
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:zorbek-cli> -DOUT=${ZORBEK_MAN_PAGE}
          -P ${CMAKE_SOURCE_DIR}/cmake/GenerateManPage.cmake
  DEPENDS ${ZORBEK_MAN_PAGE_DEPENDS} ${CMAKE_SOURCE_DIR}/cmake/GenerateManPage.cmake
  COMMENT "Writing the manual page zorbek-cli.1"
  VERBATIM)
add_custom_target(zorbek_man_page ALL DEPENDS "${ZORBEK_MAN_PAGE}")

install(TARGETS zorbek-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${ZORBEK_MAN_PAGE}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET Zorbek)
  target_compile_definitions(Zorbek PRIVATE "ZORBEK_APP_ID=\"${ZORBEK_APP_ID}\"")
  set(ZORBEK_INSTALLED_PROGRAM "${CMAKE_INSTALL_FULL_BINDIR}/Zorbek")
  configure_file(res/desktop/zorbek.desktop.in "${CMAKE_BINARY_DIR}/${ZORBEK_APP_ID}.desktop" @ONLY)
  configure_file(res/desktop/zorbek.metainfo.xml.in
                 "${CMAKE_BINARY_DIR}/${ZORBEK_APP_ID}.metainfo.xml" @ONLY)

  install(TARGETS Zorbek RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES res/guide.html DESTINATION ${ZORBEK_INSTALL_DATA_SUBDIR})
  install(FILES "${CMAKE_BINARY_DIR}/${ZORBEK_APP_ID}.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES "${CMAKE_BINARY_DIR}/${ZORBEK_APP_ID}.metainfo.xml"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size IN LISTS ZORBEK_ICON_SIZES)
    install(FILES res/desktop/icons/zorbek-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${ZORBEK_APP_ID}.png)
  endforeach()
  install(FILES res/desktop/zorbek.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${ZORBEK_APP_ID}.svg)

  # The desktop's own validators pass on the entry and the metadata as configured.
  if(ZORBEK_TESTS)
    enable_testing()
    find_program(ZORBEK_DESKTOP_FILE_VALIDATE desktop-file-validate)
    find_program(ZORBEK_APPSTREAMCLI appstreamcli)
    if(ZORBEK_DESKTOP_FILE_VALIDATE)
      add_test(NAME DesktopEntry.Validates COMMAND ${ZORBEK_DESKTOP_FILE_VALIDATE}
               "${CMAKE_BINARY_DIR}/${ZORBEK_APP_ID}.desktop")
      set_tests_properties(DesktopEntry.Validates PROPERTIES FAIL_REGULAR_EXPRESSION ".")
    endif()
    if(ZORBEK_APPSTREAMCLI)
      add_test(NAME AppStreamMetadata.Validates COMMAND ${ZORBEK_APPSTREAMCLI} validate --no-net
               --pedantic "${CMAKE_BINARY_DIR}/${ZORBEK_APP_ID}.metainfo.xml")
    endif()
  endif()
endif()

# ---------------------------------------------------------------------------
# The Debian package: zorbek_<version>_<arch>.deb, its library dependencies found by
# dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorbek)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Zorbek")
set(CPACK_PACKAGE_CONTACT "zorbek-feedback@example.org")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "note keeper with a Chinese interface: a tree of rich-text notes, reminders")
# CPack puts the summary above this text and indents it as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Zorbek keeps notes as a tree of folders and rich-text notes, each note in an
editor window of its own, and reminds of dated events (once, daily, weekly,
monthly, yearly, over a date range, hourly or half-hourly). A month calendar
shows Chinese lunar dates and the solar terms. It searches the full text of
the notes, lists the notes opened most recently, imports and exports RTF and
text files, and converts the data of the older note program Ramulo.

The data lives in plain files: the database Zorbek.xml and a note store of
RTF files. zorbek-cli works on the same data from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zorbek developers <zorbek-feedback@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface is Chinese: without a CJK font it shows boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
include(CPack)
