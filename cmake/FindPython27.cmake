# Finds the Python 2.7 headers the modules build against.
#
#   -DPYTHON27_ROOT=<prefix>       an installation prefix (bin/, include/python2.7)
#   -DPYTHON27_EXECUTABLE=<path>   an interpreter; its prefix is used
#
# Otherwise: pyenv's 2.7.18, then python2.7-config on PATH.
#
# Sets PYTHON27_INCLUDE_DIR and PYTHON27_EXECUTABLE.

set(_candidates)
if(PYTHON27_ROOT)
  list(APPEND _candidates "${PYTHON27_ROOT}")
endif()
if(PYTHON27_EXECUTABLE AND NOT PYTHON27_ROOT)
  get_filename_component(_bin "${PYTHON27_EXECUTABLE}" DIRECTORY)
  get_filename_component(_prefix "${_bin}" DIRECTORY)
  list(APPEND _candidates "${_prefix}")
endif()
if(DEFINED ENV{PYENV_ROOT})
  list(APPEND _candidates "$ENV{PYENV_ROOT}/versions/2.7.18")
endif()
find_program(_pyenv pyenv)
if(_pyenv)
  execute_process(COMMAND "${_pyenv}" root OUTPUT_VARIABLE _pyenv_root
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(_pyenv_root)
    list(APPEND _candidates "${_pyenv_root}/versions/2.7.18")
  endif()
endif()
list(APPEND _candidates "$ENV{HOME}/.pyenv/versions/2.7.18" "/root/.pyenv/versions/2.7.18")

foreach(_p IN LISTS _candidates)
  if(EXISTS "${_p}/include/python2.7/Python.h")
    set(PYTHON27_INCLUDE_DIR "${_p}/include/python2.7")
    if(NOT PYTHON27_EXECUTABLE)
      set(PYTHON27_EXECUTABLE "${_p}/bin/python2.7")
    endif()
    break()
  endif()
endforeach()

if(NOT PYTHON27_INCLUDE_DIR)
  find_program(_config python2.7-config)
  if(_config)
    execute_process(COMMAND "${_config}" --includes OUTPUT_VARIABLE _inc
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REGEX REPLACE "^-I([^ ]+).*" "\\1" PYTHON27_INCLUDE_DIR "${_inc}")
    execute_process(COMMAND "${_config}" --prefix OUTPUT_VARIABLE _prefix
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT PYTHON27_EXECUTABLE)
      set(PYTHON27_EXECUTABLE "${_prefix}/bin/python2.7")
    endif()
  endif()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Python27 REQUIRED_VARS PYTHON27_INCLUDE_DIR PYTHON27_EXECUTABLE)
set(PYTHON27_INCLUDE_DIR "${PYTHON27_INCLUDE_DIR}" CACHE PATH "Python 2.7 headers")
set(PYTHON27_EXECUTABLE "${PYTHON27_EXECUTABLE}" CACHE FILEPATH "Python 2.7 interpreter")
