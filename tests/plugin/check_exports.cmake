# Checks that a plug-in file defines exactly one dynamic symbol, the
# function GetFilterTable. Run as: cmake -DNM=... -DPLUGIN=... -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
if(NOT lines MATCHES "^[0-9a-fA-F]+ T GetFilterTable$")
  message(FATAL_ERROR "${PLUGIN} must export only the function GetFilterTable, but exports:\n${listing}")
endif()
message(STATUS "${PLUGIN}: ${listing}")
