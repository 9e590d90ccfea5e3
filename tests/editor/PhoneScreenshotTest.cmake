# The program started against a simulated phone connects to it, and its picture shows the
# Phone Tools page in the connected state (green status text, no red one). A seed folder that
# does not exist ends the program with exit code 2.
#   -DGLOWSMITH=<program> -DPROBE=<colour counter> -DSEED=<seed folder> -DOUT=<picture>
file(REMOVE "${OUT}")
execute_process(
  COMMAND "${GLOWSMITH}" --simulate-phone "${SEED}" --screenshot "${OUT}"
  RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 30)
if(NOT result EQUAL 0 OR NOT EXISTS "${OUT}")
  message(FATAL_ERROR "the screenshot run failed (${result}): ${errors}")
endif()

execute_process(COMMAND "${PROBE}" "${OUT}" RESULT_VARIABLE result OUTPUT_VARIABLE counts)
if(NOT result EQUAL 0 OR NOT counts MATCHES "green=([0-9]+) red=([0-9]+)")
  message(FATAL_ERROR "cannot read the colours of ${OUT}: ${counts}")
endif()
set(green ${CMAKE_MATCH_1})
set(red ${CMAKE_MATCH_2})
if(green LESS 20 OR red GREATER 0)
  message(FATAL_ERROR "${OUT} does not show the connected state: ${counts}")
endif()
message(STATUS "connected state shown: ${counts}")

execute_process(
  COMMAND "${GLOWSMITH}" --simulate-phone "${OUT}.missing" --screenshot "${OUT}.unused.png"
  RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 30)
if(NOT result EQUAL 2 OR NOT errors MATCHES "--simulate-phone")
  message(FATAL_ERROR "a missing seed folder gave ${result}: ${errors}")
endif()
