# Runs one fuzz target for a few seconds over its seed corpus; fails on any finding.
file(MAKE_DIRECTORY ${WORK})
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -print_final_stats=1 ${WORK} ${SEEDS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzz target ${FUZZER} reported a finding (exit ${result})")
endif()
