# The Linux installation and its Debian package: programs in bin/, the help file, man pages,
# desktop entry, icon and bash completion under share/. `cmake --install build` lays it out;
# `cpack -G DEB` in the build directory packs the same files.
include(GNUInstallDirs)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
  return() # the portable zip and the installer, with both programs and their texts
endif()

install(TARGETS quillmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(NOT UNIX OR APPLE)
  return() # the rest is the Linux desktop's: man pages, menu entry, completion, Debian package
endif()

# Man pages carry the version and are installed compressed, as Debian's man expects.
set(QUILLMARK_MAN_PAGES quillmark quillmark-gui)
set(QUILLMARK_MAN_OUTPUTS)
foreach(page ${QUILLMARK_MAN_PAGES})
  set(roff ${CMAKE_BINARY_DIR}/packaging/${page}.1)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${page}.1 ${roff} @ONLY)
  add_custom_command(OUTPUT ${roff}.gz
                     COMMAND gzip -9nc ${roff} > ${roff}.gz
                     DEPENDS ${roff}
                     COMMENT "Compressing man page ${page}.1")
  list(APPEND QUILLMARK_MAN_OUTPUTS ${roff}.gz)
endforeach()
add_custom_target(quillmark_man_pages ALL DEPENDS ${QUILLMARK_MAN_OUTPUTS})
install(FILES ${CMAKE_BINARY_DIR}/packaging/quillmark.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/quillmark.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quillmark)

if(TARGET quillmark-gui)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/quillmark-gui.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/quillmark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/quillmark.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # PNG sizes too, so the icon shows where Qt's SVG plugin is not installed. Made from the SVG
  # by `rsvg-convert -w N -h N packaging/quillmark.svg` (librsvg2-bin).
  foreach(size 16 32 48 64 128 256)
    install(FILES packaging/icons/quillmark-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quillmark.png)
  endforeach()
endif()

# The package's own documents: its copyright and (compressed, as Debian's tools expect) its
# changelog. The package is native, so the changelog is changelog.gz.
set(QUILLMARK_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${QUILLMARK_CHANGELOG_GZ}
                   COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog > ${QUILLMARK_CHANGELOG_GZ}
                   DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
                   COMMENT "Compressing the package changelog")
add_custom_target(quillmark_changelog ALL DEPENDS ${QUILLMARK_CHANGELOG_GZ})
install(FILES packaging/copyright ${QUILLMARK_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmark)

set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillmark")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "batch converter from NW page-format scores to NoteWorthy Composer 1.75 files")
# Lines of the long description stay within 80 columns, as Debian's tools expect.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmark walks a directory tree and writes beside every NW score a\n\
NoteWorthy Composer 1.75 file (and, if asked, a MusicXML file), never\n\
overwriting anything, with a log of numbered errors and warnings.\n\
It comes as a command-line program (quillmark) and a window (quillmark-gui).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmark developers <quillmark@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs link (libc, libstdc++, Qt) become the Depends line.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
include(CPack)
