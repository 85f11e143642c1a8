# Runs the response tool as a user would.
#   MODE=plot:  writes the README plot to ACTUAL with the plot's arguments
#               (ARGS, '|'-separated), fails when it differs from EXPECTED (the
#               committed docs/response.svg) and, where xmllint exists, when
#               xmllint finds it malformed.
#   MODE=usage: checks the exit status of good and bad command lines and what
#               the refusals say.
include(${CMAKE_CURRENT_LIST_DIR}/expect_committed_svg.cmake)
string(REPLACE "|" ";" ARGS "${ARGS}")

function(expect_status expected)
  execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL "${expected}")
    message(FATAL_ERROR "qorta_response ${ARGN}: exit status ${status}, expected ${expected}\n${out}${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
  set(last_error "${err}" PARENT_SCOPE)
endfunction()

# A refused command line: status 2, what is wrong on the first line, then
# the usage.
function(expect_refusal message)
  expect_status(2 ${ARGN})
  string(FIND "${last_error}" "qorta_response: ${message}\nusage: " at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "qorta_response ${ARGN}: expected the message '${message}' and the usage, got:\n${last_error}")
  endif()
endfunction()

if(MODE STREQUAL "plot")
  expect_status(0 -s ${ACTUAL} ${ARGS})
  expect_committed_svg(${EXPECTED} ${ACTUAL} response_svg)
elseif(MODE STREQUAL "usage")
  expect_status(0 -p 3 iir fir:q=50)
  string(REGEX MATCHALL "\n" lines "${last_output}")
  list(LENGTH lines count)
  if(NOT count EQUAL 4 OR NOT last_output MATCHES "^frequency_hz,\"IIR effect 100 dB\",\"FIR q50 effect 100 dB\"\n10,")
    message(FATAL_ERROR "unexpected table:\n${last_output}")
  endif()
  # The frequencies stop at half the sample rate where it is below 20 kHz.
  expect_status(0 -r 22050 -p 3 iir)
  if(NOT last_output MATCHES "\n11025,[^\n]*\n$")
    message(FATAL_ERROR "the table does not end at 11025 Hz:\n${last_output}")
  endif()
  expect_refusal("no curve given")
  expect_refusal("curve 'fir:q=1.5' has 'q=1.5', which is not an integer within 32 bits" fir:q=1.5)
  expect_refusal("sample rate '9' is out of range: from 21 to 4294967295" -r 9 iir)
  expect_refusal("sample rate '20' is out of range: from 21 to 4294967295" -r 20 iir)
  expect_refusal("point count '1' is out of range: from 2 to 100000" -p 1 iir)
  expect_refusal("unknown option -x" -x 1 iir)
  expect_refusal("level range '5:1' has LOW not below HIGH" -y 5:1 -s ${ACTUAL} iir)
  expect_refusal("level range '5:5' has LOW not below HIGH" -y 5:5 -s ${ACTUAL} iir)
  expect_refusal("level range '0:5000' is deeper than 2000 dB" -y 0:5000 -s ${ACTUAL} iir)
  expect_status(1 fir:q=-5)
  if(NOT last_error MATCHES "FIR q-5 effect 100: settings out of range")
    message(FATAL_ERROR "unexpected message: ${last_error}")
  endif()
  expect_status(1 -c ${ACTUAL}/missing/table.csv iir)
  # 300 x 14316558 is past 32 bits: N = 858993, beyond the window.
  expect_status(1 -r 14316558 fir:q=300)
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
