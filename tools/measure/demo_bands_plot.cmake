# Corrects the demo recording DEMO with both programs (defaults) into WORK and
# writes the spectrum picture of all three to PLOT.
foreach(program IN ITEMS QORTAIIR QORTAFIR)
  string(TOLOWER ${program} name)
  execute_process(COMMAND ${${program}} -y ${DEMO} ${WORK}/demo_${name}.wav
                  RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0 OR NOT EXISTS ${WORK}/demo_${name}.wav)
    message(FATAL_ERROR "${name} did not correct ${DEMO}")
  endif()
endforeach()
execute_process(COMMAND ${MEASURE} -s ${PLOT} -t "The demo recording before and after, default settings"
                        "before=${DEMO}" "qortaiir=${WORK}/demo_qortaiir.wav" "qortafir=${WORK}/demo_qortafir.wav"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "qorta_measure could not write ${PLOT}")
endif()
