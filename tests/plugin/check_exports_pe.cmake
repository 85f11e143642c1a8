# Checks that a Windows plug-in file (a PE DLL) exports exactly one name,
# GetFilterTable, undecorated: no leading underscore, no @ suffix, no other
# export by name or by ordinal alone.
# Run as: cmake -DOBJDUMP=... -DPLUGIN=... -P check_exports_pe.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PLUGIN} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${PLUGIN}")
endif()
# The address table counts every export, named or not; the name table
# lists the names.
string(REGEX MATCH "Export Address Table -- Ordinal Base [0-9]+\n(([ \t]+\\[[^\n]*\n)*)" address_part "${listing}")
string(REGEX MATCHALL "[^\n]+" address_lines "${CMAKE_MATCH_1}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[^\n]*\n)*)" name_part "${listing}")
string(REGEX MATCHALL "[^\n]+" name_lines "${CMAKE_MATCH_1}")
set(names)
foreach(line ${name_lines})
  if(line MATCHES "^[ \t]+\\[ *[0-9]+\\] (.+)$")
    list(APPEND names "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(LENGTH address_lines address_count)
if(NOT address_count EQUAL 1 OR NOT names STREQUAL "GetFilterTable")
  message(FATAL_ERROR "${PLUGIN} must export only GetFilterTable, but its tables are:\n${address_part}\n${name_part}")
endif()
message(STATUS "${PLUGIN}:\n${address_part}${name_part}")
