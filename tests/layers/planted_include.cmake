# The layer check meets a header under dc/ that includes session/session.h
# (and one that keeps to its layers): it must fail and name both files.
#   cmake -DCHECK=<check_layers.cmake> -DWORK=<scratch folder> -P planted_include.cmake
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/dc/base/planted.h" "#pragma once\n#include \"dc/base/driver.h\"\n#include \"session/session.h\"\n")
file(WRITE "${WORK}/dc/base/driver.h" "#pragma once\n#include \"platform/clock.h\"\n")
file(WRITE "${WORK}/session/session.h" "#pragma once\n#include \"dc/base/driver.h\"\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${WORK} -P "${CHECK}"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(REMOVE_RECURSE "${WORK}")
if(result EQUAL 0)
  message(FATAL_ERROR "the check passed a header of dc/ that includes session/session.h")
endif()
if(NOT out MATCHES "dc/base/planted.h includes session/session.h")
  message(FATAL_ERROR "the check did not name both files:\n${out}")
endif()
string(REGEX MATCHALL " includes " named "${out}")
list(LENGTH named count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "the check refused more than the planted include:\n${out}")
endif()
