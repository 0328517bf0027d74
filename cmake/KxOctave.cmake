# GNU Octave: build/octave/kx_core_mex.mex (real backend on the SDK beside it)
# and build/octave-mock/kx_core_mex.mex (mock backend), both against Octave's
# mex.h with the interleaved-complex API, each with the toolbox's file MEX
# kx_edf_mex.mex beside it.
find_program(KX_MKOCTFILE mkoctfile)
if(NOT KX_MKOCTFILE)
  message(FATAL_ERROR "mkoctfile not found: install liboctave-dev, or configure with -DKX_BUILD_OCTAVE=OFF")
endif()

function(kx_mkoctfile_query variable name)
  execute_process(COMMAND ${KX_MKOCTFILE} -p ${name} OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "mkoctfile -p ${name} failed")
  endif()
  set(${variable} "${value}" PARENT_SCOPE)
endfunction()

kx_mkoctfile_query(KX_OCTAVE_INCFLAGS INCFLAGS)
kx_mkoctfile_query(KX_OCTAVE_LIBDIR OCTLIBDIR)
string(REGEX MATCHALL "-I[^ ]+" _kx_incflags "${KX_OCTAVE_INCFLAGS}")
set(KX_OCTAVE_INCLUDE_DIRS "")
foreach(flag IN LISTS _kx_incflags)
  string(SUBSTRING "${flag}" 2 -1 dir)
  list(APPEND KX_OCTAVE_INCLUDE_DIRS "${dir}")
endforeach()
find_library(KX_OCTINTERP octinterp PATHS ${KX_OCTAVE_LIBDIR} NO_DEFAULT_PATH)
find_library(KX_OCTAVE_LIB octave PATHS ${KX_OCTAVE_LIBDIR} NO_DEFAULT_PATH)
if(NOT KX_OCTINTERP OR NOT KX_OCTAVE_LIB)
  message(FATAL_ERROR "Octave's libraries not found in ${KX_OCTAVE_LIBDIR}")
endif()
find_package(Threads REQUIRED)

kx_add_gateway_library(kx_gateway_octave INCLUDE_DIRS ${KX_OCTAVE_INCLUDE_DIRS}
                       DEFINITIONS MX_HAS_INTERLEAVED_COMPLEX=1)
kx_add_mex_module(kx_core_mex_octave GATEWAY kx_gateway_octave BACKEND real
                  OUTPUT_DIR ${CMAKE_BINARY_DIR}/octave SUFFIX .mex LINK ${KX_OCTINTERP} ${KX_OCTAVE_LIB})
kx_add_mex_module(kx_core_mex_octave_mock GATEWAY kx_gateway_octave BACKEND mock
                  OUTPUT_DIR ${CMAKE_BINARY_DIR}/octave-mock SUFFIX .mex LINK ${KX_OCTINTERP} ${KX_OCTAVE_LIB})

include(${PROJECT_SOURCE_DIR}/cmake/KxEdf.cmake)
kx_add_edf_mex(kx_edf_mex_octave OUTPUT_DIR ${CMAKE_BINARY_DIR}/octave SUFFIX .mex
               INCLUDE_DIRS ${KX_OCTAVE_INCLUDE_DIRS} DEFINITIONS MX_HAS_INTERLEAVED_COMPLEX=1
               LINK ${KX_OCTINTERP} ${KX_OCTAVE_LIB} ALSO_IN ${CMAKE_BINARY_DIR}/octave-mock)
