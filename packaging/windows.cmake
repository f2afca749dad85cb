# The Windows package: `cpack -G ZIP` in the build directory makes
# quillmark-<version>-windows-x64.zip with the program, the README as text and the licences.
install(TARGETS quillmark RUNTIME DESTINATION .)
# Windows editors want CR LF line ends.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
file(READ ${CMAKE_SOURCE_DIR}/README.md QUILLMARK_README)
string(REPLACE "\n" "\r\n" QUILLMARK_README "${QUILLMARK_README}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${QUILLMARK_README}")
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)
if(EXISTS ${CMAKE_SOURCE_DIR}/LICENSE)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/LICENSE.txt COPYONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/LICENSE.txt DESTINATION .)
endif()
# The MinGW-w64 runtime and its threads library are linked into the program; their terms
# travel with it.
set(QUILLMARK_RUNTIME_NOTICES /usr/share/doc/mingw-w64-x86-64-dev/copyright)
if(EXISTS ${QUILLMARK_RUNTIME_NOTICES})
  configure_file(${QUILLMARK_RUNTIME_NOTICES} ${CMAKE_BINARY_DIR}/package/THIRD-PARTY-NOTICES.txt
                 COPYONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/THIRD-PARTY-NOTICES.txt DESTINATION .)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_FILE_NAME quillmark-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
