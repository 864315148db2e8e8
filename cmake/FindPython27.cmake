# Finds the Python 2.7 headers the modules build against.
#
#   -DPYTHON27_ROOT=<prefix>       an installation prefix (bin/, include/python2.7)
#   -DPYTHON27_EXECUTABLE=<path>   an interpreter; its prefix is used
#   -DPYTHON27_VERSION=2.7.N       which of pyenv's 2.7 versions to take (also read
#                                  from the environment variable of that name)
#
# Otherwise: the newest 2.7.x installed under pyenv, then python2.7-config on PATH.
#
# Sets PYTHON27_INCLUDE_DIR and PYTHON27_EXECUTABLE (the interpreter is also
# cached as PYTHON27_INTERPRETER for the scripts).

if(NOT PYTHON27_VERSION AND DEFINED ENV{PYTHON27_VERSION})
  set(PYTHON27_VERSION "$ENV{PYTHON27_VERSION}")
endif()

set(_candidates)
if(PYTHON27_ROOT)
  list(APPEND _candidates "${PYTHON27_ROOT}")
endif()
if(PYTHON27_EXECUTABLE AND NOT PYTHON27_ROOT)
  get_filename_component(_bin "${PYTHON27_EXECUTABLE}" DIRECTORY)
  get_filename_component(_prefix "${_bin}" DIRECTORY)
  list(APPEND _candidates "${_prefix}")
endif()

# pyenv's versions directories: $PYENV_ROOT, `pyenv root`, then the usual places.
set(_pyenv_roots)
if(DEFINED ENV{PYENV_ROOT})
  list(APPEND _pyenv_roots "$ENV{PYENV_ROOT}")
endif()
find_program(_pyenv pyenv)
if(_pyenv)
  execute_process(COMMAND "${_pyenv}" root OUTPUT_VARIABLE _pyenv_root
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(_pyenv_root)
    list(APPEND _pyenv_roots "${_pyenv_root}")
  endif()
endif()
list(APPEND _pyenv_roots "$ENV{HOME}/.pyenv" "/root/.pyenv")
list(REMOVE_DUPLICATES _pyenv_roots)

if(NOT PYTHON27_ROOT AND NOT PYTHON27_EXECUTABLE)
  foreach(_r IN LISTS _pyenv_roots)
    if(PYTHON27_VERSION)
      list(APPEND _candidates "${_r}/versions/${PYTHON27_VERSION}")
      continue()
    endif()
    file(GLOB _versions LIST_DIRECTORIES true "${_r}/versions/2.7.*")
    set(_found)
    foreach(_v IN LISTS _versions)
      get_filename_component(_name "${_v}" NAME)
      if(_name MATCHES "^2\\.7\\.[0-9]+$" AND EXISTS "${_v}/include/python2.7/Python.h")
        list(APPEND _found "${_name}")
      endif()
    endforeach()
    if(_found)
      list(SORT _found COMPARE NATURAL ORDER DESCENDING)
      foreach(_name IN LISTS _found)
        list(APPEND _candidates "${_r}/versions/${_name}")
      endforeach()
    endif()
  endforeach()
endif()

foreach(_p IN LISTS _candidates)
  if(EXISTS "${_p}/include/python2.7/Python.h")
    set(PYTHON27_INCLUDE_DIR "${_p}/include/python2.7")
    if(NOT PYTHON27_EXECUTABLE)
      set(PYTHON27_EXECUTABLE "${_p}/bin/python2.7")
    endif()
    break()
  endif()
endforeach()

if(NOT PYTHON27_INCLUDE_DIR AND (PYTHON27_ROOT OR PYTHON27_VERSION))
  message(FATAL_ERROR "No Python 2.7 headers under the named interpreter "
          "(PYTHON27_ROOT='${PYTHON27_ROOT}', PYTHON27_VERSION='${PYTHON27_VERSION}'; "
          "looked in: ${_candidates})")
endif()

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
# Found anew on every configure, so that naming another version takes effect;
# the scripts read the interpreter from the cache.
set(PYTHON27_INTERPRETER "${PYTHON27_EXECUTABLE}" CACHE INTERNAL "Python 2.7 interpreter")
