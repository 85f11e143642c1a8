# Writes the demo's spectrum picture to PLOT as the build target does and
# fails when it differs from EXPECTED (the committed docs/demo-spectrum.svg)
# or, where xmllint exists, when xmllint finds it malformed.
include(${CMAKE_CURRENT_LIST_DIR}/../../tools/measure/demo_spectrum.cmake)
find_program(XMLLINT xmllint)
if(XMLLINT)
  execute_process(COMMAND ${XMLLINT} --noout ${PLOT} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "xmllint: ${PLOT} is not well-formed:\n${err}")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED} ${PLOT} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${EXPECTED} is not what the current code gives (see ${PLOT}); "
                      "rewrite it with: cmake --build <build dir> --target demo_spectrum_svg")
endif()
