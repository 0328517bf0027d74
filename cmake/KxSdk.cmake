# The device SDK the MEX files link: the target kx::sdk. By default it is the
# simulated SDK of simsdk/ (libkxcore.so.3.6.0, built here); configure with
#   -DKX_SDK_DIR=/path/to/folder
# to link the vendor's libkxcore.so.3.6.0 from that folder instead. The
# gateway's library needs only the SDK's header, interfaces/kxcore.h; each MEX
# file links kx::sdk and gets the library copied beside it, with the soname
# link libkxcore.so.3. The tests and benchmarks drive the simulator through
# its control interface, so a build against the vendor's SDK leaves them out.
set(KX_SDK_DIR "" CACHE PATH "Folder of the vendor's libkxcore.so.3.6.0; empty: the simulated SDK of simsdk/")

set(KX_SDK_FILE_NAME libkxcore.so.3.6.0)
set(KX_SDK_SONAME libkxcore.so.3)

if(KX_SDK_DIR)
  set(_kx_sdk_library ${KX_SDK_DIR}/${KX_SDK_FILE_NAME})
  if(NOT EXISTS ${_kx_sdk_library})
    message(FATAL_ERROR "KX_SDK_DIR: ${_kx_sdk_library} does not exist")
  endif()
  add_library(kx::sdk SHARED IMPORTED GLOBAL)
  set_target_properties(kx::sdk PROPERTIES IMPORTED_LOCATION ${_kx_sdk_library} IMPORTED_SONAME ${KX_SDK_SONAME})
  message(STATUS "Device SDK: ${_kx_sdk_library}; the tests and benchmarks, which need the simulated SDK, are left out")
  set(KX_BUILD_TESTS OFF)
  set(KX_BUILD_BENCH OFF)
else()
  add_subdirectory(${PROJECT_SOURCE_DIR}/simsdk ${PROJECT_BINARY_DIR}/simsdk)
  add_library(kx::sdk ALIAS kxcore_sim)
endif()
