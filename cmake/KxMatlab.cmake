# MATLAB: build/matlab/kx_core_mex.mexa64 for the interleaved-complex API
# (the R2018a flag), where CMake's FindMatlab finds a MATLAB installation,
# and build/matlab-mock/kx_core_mex.mexa64, the mock backend.
# matlab_add_mex would add MATLAB's own version source, but the gateway
# exports mexfilerequiredapiversion itself, so the module is put together here.
find_package(Matlab QUIET COMPONENTS MX_LIBRARY)
if(NOT Matlab_FOUND OR NOT Matlab_MEX_LIBRARY OR NOT Matlab_MX_LIBRARY)
  message(STATUS "MATLAB not found: the MATLAB MEX file is not built")
  return()
endif()
message(STATUS "MATLAB found in ${Matlab_ROOT_DIR}: building kx_core_mex.${Matlab_MEX_EXTENSION}")
find_package(Threads REQUIRED)
if(KX_MOCK_BACKEND)
  set(_kx_backend mock)
else()
  set(_kx_backend real)
endif()
kx_add_gateway_library(kx_gateway_matlab INCLUDE_DIRS ${Matlab_INCLUDE_DIRS}
                       DEFINITIONS MATLAB_DEFAULT_RELEASE=R2018a MATLAB_MEX_FILE)
kx_add_mex_module(kx_core_mex_matlab GATEWAY kx_gateway_matlab BACKEND ${_kx_backend}
                  OUTPUT_DIR ${CMAKE_BINARY_DIR}/matlab SUFFIX .${Matlab_MEX_EXTENSION}
                  LINK ${Matlab_MEX_LIBRARY} ${Matlab_MX_LIBRARY})
# The mock backend always has its own file too, which the install puts in
# its mock/ folder.
kx_add_mex_module(kx_core_mex_matlab_mock GATEWAY kx_gateway_matlab BACKEND mock
                  OUTPUT_DIR ${CMAKE_BINARY_DIR}/matlab-mock SUFFIX .${Matlab_MEX_EXTENSION}
                  LINK ${Matlab_MEX_LIBRARY} ${Matlab_MX_LIBRARY})

include(${PROJECT_SOURCE_DIR}/cmake/KxEdf.cmake)
kx_add_edf_mex(kx_edf_mex_matlab OUTPUT_DIR ${CMAKE_BINARY_DIR}/matlab SUFFIX .${Matlab_MEX_EXTENSION}
               INCLUDE_DIRS ${Matlab_INCLUDE_DIRS} DEFINITIONS MATLAB_DEFAULT_RELEASE=R2018a MATLAB_MEX_FILE
               LINK ${Matlab_MEX_LIBRARY} ${Matlab_MX_LIBRARY} ALSO_IN ${CMAKE_BINARY_DIR}/matlab-mock)
