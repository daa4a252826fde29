# Stands in for CMake's FindPython when the extension is cross-built for
# Windows (tests/windows/extension_build.sh): no Windows interpreter runs on
# the build machine to be asked, so the headers, NumPy's headers and the
# import library come from the folder tests/windows/python_sdk.py made.
#
#   cmake ... -DCMAKE_MODULE_PATH=<repo>/cmake/windows_python
#             -DVL5_WINDOWS_PYTHON_SDK=<folder> -DVL5_WINDOWS_PYTHON_VERSION=3.14
if(NOT WIN32)
  message(FATAL_ERROR "cmake/windows_python stands in for FindPython in Windows cross builds only")
endif()
foreach(var VL5_WINDOWS_PYTHON_SDK VL5_WINDOWS_PYTHON_VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set (see tests/windows/extension_build.sh)")
  endif()
endforeach()
string(REPLACE "." "" _vl5_nodot "${VL5_WINDOWS_PYTHON_VERSION}")
set(_vl5_sdk "${VL5_WINDOWS_PYTHON_SDK}")
foreach(file include/Python.h include/pyconfig.h numpy-include/numpy/arrayobject.h libpython${_vl5_nodot}.dll.a)
  if(NOT EXISTS "${_vl5_sdk}/${file}")
    message(FATAL_ERROR "${_vl5_sdk}/${file} is missing (see tests/windows/python_sdk.py)")
  endif()
endforeach()

set(Python_FOUND TRUE)
set(Python_VERSION "${VL5_WINDOWS_PYTHON_VERSION}")
set(Python_SOABI "cp${_vl5_nodot}-win_amd64")
set(Python_INCLUDE_DIRS "${_vl5_sdk}/include")
set(Python_NumPy_INCLUDE_DIRS "${_vl5_sdk}/numpy-include")

if(NOT TARGET Python::Module)
  add_library(Python::Module UNKNOWN IMPORTED)
  set_target_properties(Python::Module PROPERTIES
    IMPORTED_LOCATION "${_vl5_sdk}/libpython${_vl5_nodot}.dll.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_vl5_sdk}/include")
endif()

# The one form the project uses: python_add_library(name MODULE WITH_SOABI sources...)
function(python_add_library name type soabi)
  if(NOT type STREQUAL "MODULE" OR NOT soabi STREQUAL "WITH_SOABI")
    message(FATAL_ERROR "python_add_library(${name} ${type} ${soabi}): only MODULE WITH_SOABI is provided here")
  endif()
  add_library(${name} MODULE ${ARGN})
  target_link_libraries(${name} PRIVATE Python::Module)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".${Python_SOABI}.pyd")
endfunction()
