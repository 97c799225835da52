# cmake -DFIRST=<program> -DSECOND=<program> [-DEXPECTED=<file>] -P same_output.cmake
# Runs both programs and fails unless both succeed and print the same text,
# and, with EXPECTED, unless that text is the file's first line.
execute_process(COMMAND ${FIRST} OUTPUT_VARIABLE first RESULT_VARIABLE first_status)
execute_process(COMMAND ${SECOND} OUTPUT_VARIABLE second RESULT_VARIABLE second_status)
if(NOT first_status EQUAL 0 OR NOT second_status EQUAL 0)
  message(FATAL_ERROR "a program failed: ${FIRST} -> ${first_status}, ${SECOND} -> ${second_status}")
endif()
if(NOT first STREQUAL second)
  message(FATAL_ERROR "outputs differ:\n${FIRST}: ${first}${SECOND}: ${second}")
endif()
if(EXPECTED)
  file(STRINGS ${EXPECTED} expected LIMIT_COUNT 1)
  string(STRIP "${first}" got)
  if(NOT got STREQUAL expected)
    message(FATAL_ERROR "both print ${got}, but ${EXPECTED} says ${expected}")
  endif()
endif()
message(STATUS "both print ${first}")
