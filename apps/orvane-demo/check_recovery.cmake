# A session killed while the clerk types, then the next start-up: the recovery bar offers it.
include(${CMAKE_CURRENT_LIST_DIR}/check_common.cmake)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
run_demo(120 --script-crash --app-folder "${WORK}/app")
string(FIND "${out}" "killed while typing" at)
if(at LESS 0 OR rc EQUAL 0)
  message(FATAL_ERROR "the crashing session was not killed while typing (${rc})")
endif()
file(GLOB journals "${WORK}/app/Recovery/*.db")
list(LENGTH journals n)
if(NOT n EQUAL 1)
  message(FATAL_ERROR "the killed session left ${n} journals, not one")
endif()
run_demo(120 --script-recovery --app-folder "${WORK}/app" --screenshot "${WORK}/bar.png")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the start-up after the crash ended with ${rc}")
endif()
# The screen reopens the hearing the record kept, then the recovery adds nothing twice.
expect_found("${out}" "the start-up does not print"
             "interrupted session: 500-01-778899-242, 2 annotation(s)"
             "screenshot: ${WORK}/bar.png" "reopened: 2 annotation(s)"
             "after recovery: 2 annotation(s), 2 saved")
expect_png("${WORK}/bar.png")
