# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK=... [-DGENERATOR=...] -P run_consumer.cmake
file(REMOVE_RECURSE "${WORK}")
set(prefix "${WORK}/prefix")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(f lib/cmake/Dalmure/DalmureConfig.cmake lib/pkgconfig/dalmure.pc
          include/dalmure/dalmure.h include/dalmure/dalmure_export.h
          share/dalmure/ORLngClient.MDB share/dalmure/pvTemplateFRA.html)
  file(GLOB found "${prefix}/${f}" "${prefix}/lib/*/${f}")
  string(REPLACE "lib/" "lib/*/" f2 "${f}")
  file(GLOB found2 "${prefix}/${f2}")
  if(NOT found AND NOT found2)
    message(FATAL_ERROR "the installed tree lacks ${f}")
  endif()
endforeach()

# Only the public headers: nothing of the control's inside.
file(GLOB_RECURSE installed_headers RELATIVE "${prefix}/include/dalmure" "${prefix}/include/dalmure/*")
foreach(h ${installed_headers})
  if(NOT h MATCHES "^[a-z_]+\\.h$")
    message(FATAL_ERROR "an internal header is installed: ${h}")
  endif()
endforeach()

# A host of a sanitizer build links the sanitizers' runtime first, as the library expects.
set(sanitize)
if(SANITIZE)
  set(sanitize -fsanitize=address,undefined)
endif()

set(gen)
if(GENERATOR)
  set(gen -G "${GENERATOR}")
endif()
run("configure" ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK}/build" ${gen}
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_FLAGS=${sanitize}")
run("build" ${CMAKE_COMMAND} --build "${WORK}/build")
run("run" "${WORK}/build/consumer")
if(NOT last_output MATCHES "AnnoCount=2")
  message(FATAL_ERROR "the consumer printed: ${last_output}")
endif()
if(EXISTS "${WORK}/build/consumer-qt")
  run("run the Qt consumer" "${WORK}/build/consumer-qt")
endif()

# The same host through pkg-config.
find_program(PKG_CONFIG pkg-config)
find_program(CXX NAMES c++ g++ clang++)
if(PKG_CONFIG AND CXX)
  file(GLOB_RECURSE pcs "${prefix}/*/dalmure.pc")
  list(GET pcs 0 pc)
  get_filename_component(pcdir "${pc}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} "${pcdir}")
  run("pkg-config" ${PKG_CONFIG} --cflags --libs dalmure)
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  file(GLOB_RECURSE data "${prefix}/*/dalmure/ORLngClient.MDB")
  get_filename_component(data "${data}" DIRECTORY)
  run("pkg-config build" ${CXX} "-DDALMURE_DATA_DIR=\"${data}\"" "${SOURCE_DIR}/main.cpp" ${flags}
      ${sanitize} -o "${WORK}/consumer-pc")
  get_filename_component(libdir "${pc}" DIRECTORY)
  get_filename_component(libdir "${libdir}" DIRECTORY)
  set(ENV{LD_LIBRARY_PATH} "${libdir}")
  run("pkg-config run" "${WORK}/consumer-pc")
endif()
