# The Windows packages: `cmake --build build-windows --target package` makes, at the top of the
# build directory, quillmark-<version>-windows-x64.zip (the portable copy) and, from the same
# files, quillmark-<version>-windows-x64.msi (the installer, by wixl; packaging/windows/).
set(QUILLMARK_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
install(TARGETS quillmark quillmark-gui RUNTIME DESTINATION .)

# The window's help, beside the programs in the build directory and in the packages.
foreach(candidate src/app/window/ReadMe.rtf src/app/gui/ReadMe.rtf)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${candidate})
    configure_file(${CMAKE_SOURCE_DIR}/${candidate} ${CMAKE_BINARY_DIR}/ReadMe.rtf COPYONLY)
    break()
  endif()
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/ReadMe.rtf DESTINATION .)

# The readme for Windows users; Windows editors want CR LF line ends.
file(READ ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt QUILLMARK_README)
string(REPLACE "@QUILLMARK_VERSION@" "${PROJECT_VERSION}" QUILLMARK_README "${QUILLMARK_README}")
string(REPLACE "\n" "\r\n" QUILLMARK_README "${QUILLMARK_README}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt)
file(WRITE ${QUILLMARK_PACKAGE_DIR}/README.txt "${QUILLMARK_README}")
install(FILES ${QUILLMARK_PACKAGE_DIR}/README.txt DESTINATION .)

# The MinGW-w64 runtime, GCC's C++ library and the command-line parser are linked into the
# programs, and the JSON library into quillmark.exe; their terms travel with them.
set(QUILLMARK_NOTICES "Quillmark ${PROJECT_VERSION}: licences of the code built into the programs\n")
foreach(package mingw-w64-x86-64-dev gcc-mingw-w64-x86-64-posix-runtime libcli11-dev
                nlohmann-json3-dev)
  set(copyright /usr/share/doc/${package}/copyright)
  if(NOT EXISTS ${copyright})
    message(FATAL_ERROR "${copyright} is missing: the Windows packages need its terms")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${copyright})
  file(READ ${copyright} text)
  string(APPEND QUILLMARK_NOTICES "\n\n==== ${package} (Debian's copyright file) ====\n\n${text}")
endforeach()
string(REPLACE "\n" "\r\n" QUILLMARK_NOTICES "${QUILLMARK_NOTICES}")
file(WRITE ${QUILLMARK_PACKAGE_DIR}/THIRD-PARTY-NOTICES.txt "${QUILLMARK_NOTICES}")
install(FILES ${QUILLMARK_PACKAGE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME quillmark-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The installer is made from the zip's files once the zip is written.
find_program(QUILLMARK_WIXL wixl REQUIRED)
set(CPACK_QUILLMARK_WIXL ${QUILLMARK_WIXL})
set(CPACK_QUILLMARK_WXS ${CMAKE_SOURCE_DIR}/packaging/windows/quillmark.wxs)
set(CPACK_QUILLMARK_ICON ${CMAKE_BINARY_DIR}/packaging/windows/quillmark.ico)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/windows/make-msi.cmake)
include(CPack)
