# The recording screen's tests, registered from the tests folder.
set(ORVANE_TEST_ENV QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
    "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu")
add_test(NAME orvane-demo.unit COMMAND orvane_demo_tests)
set_tests_properties(orvane-demo.unit PROPERTIES LABELS qt TIMEOUT 180
                     ENVIRONMENT "${ORVANE_TEST_ENV}")

# A run of the demo checked by a CMake script, in a work folder of its own.
function(orvane_script_test name work script)
  add_test(NAME orvane-demo.${name}
    COMMAND ${CMAKE_COMMAND}
      -DDEMO=$<TARGET_FILE:orvane-demo>
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/${work}
      -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${script})
  set_tests_properties(orvane-demo.${name} PROPERTIES LABELS qt TIMEOUT 300
                       ENVIRONMENT "${ORVANE_TEST_ENV}")
endfunction()
# The scripted session end to end: a picture and a minutes page that holds its work.
orvane_script_test(script orvane-script-test check_script.cmake)
# A session killed mid-typing, then offered for recovery at the next start-up.
orvane_script_test(crash orvane-crash-test check_recovery.cmake)
