# expect_committed_svg(EXPECTED ACTUAL TARGET): fails when the freshly drawn
# ACTUAL is malformed for xmllint (where it exists) or differs from the
# committed EXPECTED, naming the build target that rewrites it.
function(expect_committed_svg expected actual target)
  find_program(XMLLINT xmllint)
  if(XMLLINT)
    execute_process(COMMAND ${XMLLINT} --noout ${actual} RESULT_VARIABLE status ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "xmllint: ${actual} is not well-formed:\n${err}")
    endif()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${expected} ${actual} RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${expected} is not what the current code gives (see ${actual}); "
                        "rewrite it with: cmake --build <build dir> --target ${target}")
  endif()
endfunction()
