# The Windows programs' resources (icon, manifest, version information) and the window,
# quillmark-gui.exe. The icon is drawn from the SVG of the Linux desktop by ImageMagick.
enable_language(RC)
set(QUILLMARK_RESOURCE_DIR ${CMAKE_BINARY_DIR}/packaging/windows)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/quillmark_version.h.in
               ${QUILLMARK_RESOURCE_DIR}/quillmark_version.h @ONLY)
find_program(QUILLMARK_IMAGEMAGICK NAMES convert-im6.q16 convert REQUIRED)
add_custom_command(
  OUTPUT ${QUILLMARK_RESOURCE_DIR}/quillmark.ico
  COMMAND ${QUILLMARK_IMAGEMAGICK} -background none -density 384
          ${CMAKE_SOURCE_DIR}/packaging/quillmark.svg -depth 8
          -define icon:auto-resize=256,64,48,32,24,16 ${QUILLMARK_RESOURCE_DIR}/quillmark.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/quillmark.svg
  COMMENT "Drawing the program icon")
add_custom_target(quillmark_icon DEPENDS ${QUILLMARK_RESOURCE_DIR}/quillmark.ico)

# Adds the program's .rc file; it finds the icon and the version beside the other generated files.
function(quillmark_windows_resources target rc_file)
  target_sources(${target} PRIVATE ${rc_file})
  set_source_files_properties(${rc_file} PROPERTIES
    OBJECT_DEPENDS "${QUILLMARK_RESOURCE_DIR}/quillmark.ico;${CMAKE_SOURCE_DIR}/packaging/windows/resources.rc")
  target_include_directories(${target} PRIVATE ${QUILLMARK_RESOURCE_DIR}
                                               ${CMAKE_SOURCE_DIR}/packaging/windows)
  add_dependencies(${target} quillmark_icon)
endfunction()

quillmark_windows_resources(quillmark ${CMAKE_SOURCE_DIR}/packaging/windows/quillmark.rc)
add_subdirectory(${CMAKE_SOURCE_DIR}/src/app/win32 ${CMAKE_BINARY_DIR}/win32)

# The window's driver: quillmark-gui.exe through its controls (scripts/windows-window.sh).
if(QUILLMARK_TESTS)
  add_executable(quillmark_window_driver ${CMAKE_SOURCE_DIR}/tests/win32/window_driver.cpp)
  target_include_directories(quillmark_window_driver PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(quillmark_window_driver PRIVATE quillmark_warnings)
  target_link_options(quillmark_window_driver PRIVATE -municode)
endif()
