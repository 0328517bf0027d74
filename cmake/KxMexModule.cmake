# What every MEX file of this project is built with, kx_core_mex and the
# toolbox's kx_edf_mex alike.
include_guard(GLOBAL)

# Hidden symbols and no GNU-unique objects (clang makes none), so that the
# host's `clear` really unloads a MEX file and a reload starts afresh: for
# the MEX files' own sources and for the libraries linked whole into them.
set(KX_MEX_COMPILE_OPTIONS -fvisibility=hidden -fvisibility-inlines-hidden $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)

# kx_mex_module_properties(<target> NAME <output name> SUFFIX <.mex|.mexa64|.so> OUTPUT_DIR <dir>)
# KX_MEX_COMPILE_OPTIONS, and only the two entry points exported, for the
# same reason; no undefined symbols, except under clang's sanitizers,
# whose runtime clang links into the executable only, where a module finds
# it; libraries beside the file found through an $ORIGIN run path.
function(kx_mex_module_properties target)
  cmake_parse_arguments(ARG "" "NAME;SUFFIX;OUTPUT_DIR" "" ${ARGN})
  target_compile_options(${target} PRIVATE ${KX_MEX_COMPILE_OPTIONS})
  if(NOT (CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND KX_SANITIZE))
    target_link_options(${target} PRIVATE -Wl,-z,defs)
  endif()
  target_link_options(${target} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/mex_exports.map)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/mex_exports.map)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${ARG_NAME}
    SUFFIX ${ARG_SUFFIX}
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}
    BUILD_WITH_INSTALL_RPATH TRUE
    INSTALL_RPATH "\$ORIGIN")
endfunction()
