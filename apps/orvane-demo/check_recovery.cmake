# A session killed while the clerk types, then the next start-up: the recovery bar offers it.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${DEMO}" --script-crash --app-folder "${WORK}/app"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
message("${out}${err}")
string(FIND "${out}" "killed while typing" at)
if(at LESS 0 OR rc EQUAL 0)
  message(FATAL_ERROR "the crashing session was not killed while typing (${rc})")
endif()
file(GLOB journals "${WORK}/app/Recovery/*.db")
list(LENGTH journals n)
if(NOT n EQUAL 1)
  message(FATAL_ERROR "the killed session left ${n} journals, not one")
endif()
execute_process(
  COMMAND "${DEMO}" --script-recovery --app-folder "${WORK}/app" --screenshot "${WORK}/bar.png"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
message("${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the start-up after the crash ended with ${rc}")
endif()
# The screen reopens the hearing its database kept, then the recovery adds nothing twice.
foreach(line "interrupted session: 500-01-778899-242, 2 annotation(s)" "screenshot: ${WORK}/bar.png"
        "reopened: 2 annotation(s)" "after recovery: 2 annotation(s), 2 saved")
  string(FIND "${out}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the start-up does not print '${line}'")
  endif()
endforeach()
file(READ "${WORK}/bar.png" png LIMIT 8 HEX)
if(NOT png STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "bar.png is not a PNG picture")
endif()
