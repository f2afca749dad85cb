# Run by CPack after the zip is written: the installer from the zip's own files, beside it.
# wixl takes the files' paths relative to where it runs: the unpacked zip and the icon.
list(FILTER CPACK_PACKAGE_FILES INCLUDE REGEX "\\.zip$")
list(GET CPACK_PACKAGE_FILES 0 zip)
get_filename_component(name ${zip} NAME)
string(REGEX REPLACE "\\.zip$" "" name "${name}")
set(msi ${CPACK_PACKAGE_DIRECTORY}/${name}.msi)
set(work ${CPACK_TOPLEVEL_DIRECTORY}/msi)
file(REMOVE_RECURSE ${work})
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${work})
file(COPY ${CPACK_QUILLMARK_ICON} DESTINATION ${work})
execute_process(
  COMMAND ${CPACK_QUILLMARK_WIXL} --arch x64 -D Version=${CPACK_PACKAGE_VERSION} -D Files=${name}
          -D Icon=quillmark.ico -o ${msi} ${CPACK_QUILLMARK_WXS}
  WORKING_DIRECTORY ${work}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl could not make ${msi}")
endif()
message(STATUS "Installer ${msi} generated.")
