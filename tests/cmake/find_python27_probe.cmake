# Runs the find module once and prints what it found.
list(APPEND CMAKE_MODULE_PATH "${SOURCE_DIR}/cmake")

include(FindPython27)
message(STATUS "found=${PYTHON27_INCLUDE_DIR}")
