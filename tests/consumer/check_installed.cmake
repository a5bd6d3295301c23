# Installs the built library into a scratch prefix, then configures, builds and
# runs the consumer project against that prefix.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=address,undefined")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)

file(GLOB_RECURSE pc_files ${prefix}/*/VORN_LumUtility.pc)
if(NOT pc_files)
  message(FATAL_ERROR "pkg-config file not installed")
endif()
list(GET pc_files 0 pc_file)
file(READ ${pc_file} pc)
if(NOT pc MATCHES "Description: LumUtility DLL")
  message(FATAL_ERROR "pkg-config file lacks the library description")
endif()
