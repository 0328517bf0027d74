# The toolbox's companion MEX file kx_edf_mex (matlab/mex: the MEX plumbing in
# kx_edf_mex.cpp, the file's work in edf_*.cpp), which writes EDF+/BDF+ files
# through EDFlib (Debian: libedf-dev) and reads them.
# It links neither the gateway nor the SDK; it finds libedf.so.1 beside
# itself (run path $ORIGIN) or on the system.
include_guard(GLOBAL)
include(${PROJECT_SOURCE_DIR}/cmake/KxMexModule.cmake)
# Every folder that includes this file sees the list (the guard includes it once).
set(KX_EDF_MEX_SOURCES ${PROJECT_SOURCE_DIR}/matlab/mex/kx_edf_mex.cpp ${PROJECT_SOURCE_DIR}/matlab/mex/edf_writer.cpp
    ${PROJECT_SOURCE_DIR}/matlab/mex/edf_reader.cpp ${PROJECT_SOURCE_DIR}/matlab/mex/edf_format.cpp
    ${PROJECT_SOURCE_DIR}/matlab/mex/edf_annotation_room.cpp
    CACHE INTERNAL "kx_edf_mex's sources")
find_path(KX_EDFLIB_INCLUDE_DIR edflib.h)
find_library(KX_EDFLIB_LIBRARY edf)
if(NOT KX_EDFLIB_INCLUDE_DIR OR NOT KX_EDFLIB_LIBRARY)
  message(FATAL_ERROR "EDFlib not found (edflib.h, libedf): install libedf-dev")
endif()

# kx_add_edf_mex(<target> OUTPUT_DIR <dir> SUFFIX <.mex|.mexa64>
#                [INCLUDE_DIRS <host include dirs>] [DEFINITIONS <defs>]
#                [LINK <host libs>] [ALSO_IN <dirs>])
# ALSO_IN: further folders that get a copy of the built file.
function(kx_add_edf_mex target)
  cmake_parse_arguments(ARG "" "OUTPUT_DIR;SUFFIX" "INCLUDE_DIRS;DEFINITIONS;LINK;ALSO_IN" ${ARGN})
  add_library(${target} MODULE ${KX_EDF_MEX_SOURCES})
  target_include_directories(${target} PRIVATE ${ARG_INCLUDE_DIRS} ${KX_EDFLIB_INCLUDE_DIR})
  target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
  target_link_libraries(${target} PRIVATE ${KX_EDFLIB_LIBRARY} ${ARG_LINK})
  kx_mex_module_properties(${target} NAME kx_edf_mex SUFFIX ${ARG_SUFFIX} OUTPUT_DIR ${ARG_OUTPUT_DIR})
  foreach(dir IN LISTS ARG_ALSO_IN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${dir}/
      VERBATIM)
  endforeach()
endfunction()
