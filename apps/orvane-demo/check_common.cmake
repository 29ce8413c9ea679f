# What the demo's end-to-end checks share: running the demo and checking what it printed and the
# pictures it took.

# Runs the demo with the given arguments; its output goes to `out`, its exit code to `rc`.
function(run_demo timeout)
  execute_process(COMMAND "${DEMO}" ${ARGN}
                  RESULT_VARIABLE code OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr
                  TIMEOUT ${timeout})
  message("${stdout}${stderr}")
  set(out "${stdout}" PARENT_SCOPE)
  set(rc "${code}" PARENT_SCOPE)
endfunction()

# Fails unless `text` holds each of the pieces that follow; `failure` says what a missing one
# means, the piece is quoted after it.
function(expect_found text failure)
  foreach(piece IN LISTS ARGN)
    string(FIND "${text}" "${piece}" at)
    if(at LESS 0)
      message(FATAL_ERROR "${failure} '${piece}'")
    endif()
  endforeach()
endfunction()

# Fails unless the file starts with the PNG signature.
function(expect_png file)
  file(READ "${file}" png LIMIT 8 HEX)
  if(NOT png STREQUAL "89504e470d0a1a0a")
    get_filename_component(name "${file}" NAME)
    message(FATAL_ERROR "${name} is not a PNG picture")
  endif()
endfunction()
