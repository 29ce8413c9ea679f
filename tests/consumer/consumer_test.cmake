# The out-of-tree consumer: install this build into a temporary prefix, then configure, build and
# run a tiny host project against it (CMake package and pkg-config file).
add_test(NAME consumer.installed-package
  COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${PROJECT_BINARY_DIR}
    -DSOURCE_DIR=${CMAKE_CURRENT_LIST_DIR}
    -DWORK=${CMAKE_CURRENT_BINARY_DIR}/consumer
    -DGENERATOR=${CMAKE_GENERATOR}
    -DSANITIZE=${DALMURE_SANITIZE}
    -P ${CMAKE_CURRENT_LIST_DIR}/run_consumer.cmake)
set_tests_properties(consumer.installed-package PROPERTIES LABELS consumer TIMEOUT 900
                     ENVIRONMENT "QT_QPA_PLATFORM=offscreen" RUN_SERIAL TRUE)

# The recording screen's own tests live with it.
if(TARGET orvane_demo_tests)
  include(${PROJECT_SOURCE_DIR}/apps/orvane-demo/tests.cmake)
endif()
