# Runs the scripted session in a fresh application folder and checks what it leaves behind.
include(${CMAKE_CURRENT_LIST_DIR}/check_common.cmake)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
run_demo(240 --script --app-folder "${WORK}/app" --screenshot "${WORK}/screen.png"
         --minutes-out "${WORK}/minutes.html")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the scripted session ended with ${rc}")
endif()
expect_found("${out}" "the session does not print" "screenshot: ${WORK}/screen.png"
             "minutes: ${WORK}/minutes.html")
expect_png("${WORK}/screen.png")
file(SIZE "${WORK}/screen.png" size)
if(size LESS 20000)
  message(FATAL_ERROR "screen.png is too small to hold the screen (${size} bytes)")
endif()
# The minutes page: the case, the renamed exhibit and the notes typed during the session, and
# the template's Windows-1252 encoding kept.
file(READ "${WORK}/minutes.html" page)
expect_found("${page}" "the minutes page lacks" "500-01-123456-241" "P-5" "22 h 12"
             "9 h 30, salle 4.12" "windows-1252")
foreach(f ORClient.INI ORLngClient.MDB pvTemplateFRA.html pvTemplateENG.html pvData.html)
  if(NOT EXISTS "${WORK}/app/${f}")
    message(FATAL_ERROR "the application folder lacks ${f}")
  endif()
endforeach()
