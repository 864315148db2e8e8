# Which Python 2.7 the build takes from pyenv: the newest 2.7.x, or the one
# named.  Run with cmake -DSOURCE_DIR=... -DWORK=... -P this-file.
set(root "${WORK}/pyenv")
file(REMOVE_RECURSE "${root}")
foreach(v 2.7.9 2.7.10 2.7.20 2.7.20-debug 3.11.7)
  file(WRITE "${root}/versions/${v}/include/python2.7/Python.h" "")
endforeach()
file(MAKE_DIRECTORY "${root}/versions/2.7.30")  # no headers: not a candidate

function(find_with expected)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "PYENV_ROOT=${root}" ${ARGN}
            ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/find_python27_probe.cmake
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(expected STREQUAL "error")
    if(status EQUAL 0)
      message(FATAL_ERROR "expected a failure with ${ARGN}, got: ${out}")
    endif()
  elseif(NOT out MATCHES "found=${root}/versions/${expected}/include/python2.7\n")
    message(FATAL_ERROR "expected ${expected} with '${ARGN}', got: ${out}${err}")
  endif()
endfunction()

find_with(2.7.20)
find_with(2.7.9 PYTHON27_VERSION=2.7.9)
find_with(2.7.10 PYTHON27_VERSION=2.7.10)
find_with(error PYTHON27_VERSION=2.7.11)
