# Compiles the host records header for a 32-bit target, as C and as C++, so
# that its layout assertions (every slot at the host's byte offset) run.
# Run as: cmake -DCOMPILER=... -DHEADER=... -P check_records_32bit.cmake
foreach(language c c++)
  if(language STREQUAL "c")
    set(standard -std=c11)
  else()
    set(standard -std=c++17)
  endif()
  execute_process(
    COMMAND ${COMPILER} -x ${language} ${standard} -m32 -ffreestanding -fsyntax-only
            -Wall -Wextra -Werror ${HEADER}
    RESULT_VARIABLE status ERROR_VARIABLE diagnostics)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "32-bit layout check failed as ${language}:\n${diagnostics}")
  endif()
endforeach()
