# The Windows release: the two console programs, the two plug-ins and a
# short text on their use, packed flat into one zip archive.
#
#   cmake --build BUILD --target windows_release   ->  BUILD/qorta-VERSION-win32.zip
set(QORTA_RELEASE_NAME "qorta-${PROJECT_VERSION}-win32")
set(QORTA_RELEASE_DIR ${PROJECT_BINARY_DIR}/release)
set(QORTA_RELEASE_ZIP ${PROJECT_BINARY_DIR}/${QORTA_RELEASE_NAME}.zip)

# The text as Windows editors expect it: CRLF line ends.
file(READ ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt readme_text)
string(REPLACE "\r\n" "\n" readme_text "${readme_text}")
string(REPLACE "\n" "\r\n" readme_text "${readme_text}")
file(WRITE ${QORTA_RELEASE_DIR}/README.txt "${readme_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/windows-readme.txt)

set(release_files qortaiir.exe qortafir.exe)
set(release_targets qortaiir qortafir)
if(TARGET qortaiir_auf AND TARGET qortafir_auf)
  list(APPEND release_files qortaiir.auf qortafir.auf)
  list(APPEND release_targets qortaiir_auf qortafir_auf)
endif()
list(APPEND release_files README.txt)

set(copy_commands)
foreach(target ${release_targets})
  list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${QORTA_RELEASE_DIR}/)
endforeach()

# Every file in the archive is dated 2000-01-01, whatever the build time.
add_custom_command(
  OUTPUT ${QORTA_RELEASE_ZIP}
  ${copy_commands}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QORTA_RELEASE_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${QORTA_RELEASE_ZIP} --format=zip "--mtime=2000-01-01 00:00:00 UTC"
          ${release_files}
  WORKING_DIRECTORY ${QORTA_RELEASE_DIR}
  DEPENDS ${release_targets} ${QORTA_RELEASE_DIR}/README.txt
  COMMENT "Packing ${QORTA_RELEASE_NAME}.zip"
  VERBATIM)
add_custom_target(windows_release DEPENDS ${QORTA_RELEASE_ZIP})
