# What `cmake --install` puts where, and the Debian package CPack makes of it
# (`cpack -G DEB` in the build folder).
#
# The programs go to bin/, the metafile helper to libexec/tessivo/: every program finds the
# helper as ../libexec/tessivo/tessivo-metafile from its own folder, as it does in the build
# folder, so any prefix and DESTDIR work.
include(GNUInstallDirs)
# Debian names the documentation folder after the package.
set(TESSIVO_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tessivo)

set(TESSIVO_APP_ID org.tessivo.Tessivo)

install(TARGETS tessivo tessivo-convert tessivo-table RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tessivo-metafile RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tessivo)

# Desktop integration: the menu entry, the icon at every size, the AppStream metadata.
install(FILES data/${TESSIVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/icons/${TESSIVO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN ITEMS 16 32 48 64 128 256)
  install(FILES data/icons/tessivo-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TESSIVO_APP_ID}.png)
endforeach()
configure_file(data/${TESSIVO_APP_ID}.metainfo.xml
               ${PROJECT_BINARY_DIR}/data/${TESSIVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${TESSIVO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, compressed as Debian keeps them.
find_program(GZIP gzip REQUIRED)
foreach(page IN ITEMS tessivo tessivo-convert tessivo-table)
  set(source ${PROJECT_BINARY_DIR}/data/man/${page}.1)
  configure_file(data/man/${page}.1 ${source} @ONLY)
  add_custom_command(OUTPUT ${source}.gz
                     COMMAND ${GZIP} -9 -n -c ${source} > ${source}.gz
                     DEPENDS ${source} VERBATIM)
  list(APPEND man_pages ${source}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence, as Debian's copyright file, and the package's change log.
set(copyright ${PROJECT_BINARY_DIR}/data/copyright)
file(READ LICENSE licence)
string(REPLACE "\n\n" "\n .\n" licence_text "${licence}")
string(REGEX REPLACE "\n([^ ])" "\n \\1" licence_text "${licence_text}")
file(WRITE ${copyright}
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Tessivo\n\n"
     "Files: *\nCopyright: 2026 The Tessivo developers\nLicense: Expat\n ${licence_text}\n")
install(FILES ${copyright} DESTINATION ${TESSIVO_DOCDIR})
set(changelog ${PROJECT_BINARY_DIR}/data/changelog.Debian)
file(WRITE ${changelog}
     "tessivo (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- The Tessivo developers <developers@tessivo.org>  Mon, 07 Dec 2026 12:00:00 +0000\n")
add_custom_command(OUTPUT ${changelog}.gz
                   COMMAND ${GZIP} -9 -n -c ${changelog} > ${changelog}.gz
                   DEPENDS ${changelog} VERBATIM)
add_custom_target(changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${TESSIVO_DOCDIR})

set(CPACK_PACKAGE_NAME tessivo)
set(CPACK_PACKAGE_VENDOR "The Tessivo developers")
set(CPACK_PACKAGE_CONTACT "The Tessivo developers <developers@tessivo.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn pictures into character art")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessivo samples whatever lies on its drawing surface (a loaded picture,\n"
    "imprinted text, shapes drawn with the mouse) cell by cell and turns each\n"
    "cell into the character whose tone matches it, from a dark-to-light\n"
    "character table. Its window is in Chinese. The command-line tool\n"
    "tessivo-convert runs the same conversion without a window.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tessivo.org/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not show: the fonts the art is drawn in, Qt's platform and picture
# plugins and its translations, which are loaded at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-arphic-uming, fonts-wqy-zenhei, qt6-qpa-plugins, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
