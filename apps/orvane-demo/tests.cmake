# The recording screen's tests, registered from the tests folder.
set(ORVANE_TEST_ENV QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
    "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu")
add_test(NAME orvane-demo.unit COMMAND orvane_demo_tests)
set_tests_properties(orvane-demo.unit PROPERTIES LABELS qt TIMEOUT 180
                     ENVIRONMENT "${ORVANE_TEST_ENV}")
# The scripted session end to end: a picture and a minutes page that holds its work.
add_test(NAME orvane-demo.script
  COMMAND ${CMAKE_COMMAND}
    -DDEMO=$<TARGET_FILE:orvane-demo>
    -DWORK=${CMAKE_CURRENT_BINARY_DIR}/orvane-script-test
    -P ${CMAKE_CURRENT_LIST_DIR}/check_script.cmake)
set_tests_properties(orvane-demo.script PROPERTIES LABELS qt TIMEOUT 300
                     ENVIRONMENT "${ORVANE_TEST_ENV}")
# A session killed mid-typing, then offered for recovery at the next start-up.
add_test(NAME orvane-demo.crash
  COMMAND ${CMAKE_COMMAND}
    -DDEMO=$<TARGET_FILE:orvane-demo>
    -DWORK=${CMAKE_CURRENT_BINARY_DIR}/orvane-crash-test
    -P ${CMAKE_CURRENT_LIST_DIR}/check_recovery.cmake)
set_tests_properties(orvane-demo.crash PROPERTIES LABELS qt TIMEOUT 300
                     ENVIRONMENT "${ORVANE_TEST_ENV}")
