# Runs a desktop-file validator on a file when the tool is installed:
#   cmake -DTOOL=<name> -DARGS=<args;...> -DFILE=<file> -P validate.cmake
# Says "skipped" (the test counts as skipped) when the tool is missing.
find_program(tool ${TOOL})
if(NOT tool)
  message(STATUS "${TOOL} is not installed: skipped")
  return()
endif()
execute_process(COMMAND ${tool} ${ARGS} ${FILE} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} refused ${FILE}")
endif()
