# Checks that a plug-in file defines exactly one dynamic symbol, the
# function SYMBOL (default GetFilterTable).
# Run as: cmake -DNM=... -DPLUGIN=... [-DSYMBOL=...] -P check_exports.cmake
if(NOT SYMBOL)
  set(SYMBOL GetFilterTable)
endif()
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
if(NOT lines MATCHES "^[0-9a-fA-F]+ T ${SYMBOL}$")
  message(FATAL_ERROR "${PLUGIN} must export only the function ${SYMBOL}, but exports:\n${listing}")
endif()
message(STATUS "${PLUGIN}: ${listing}")
