# The gateway's sources form one library. Each MATLAB host renames the API
# functions through macros in its own mex.h, so the library is compiled once
# per host; every MEX variant of that host links the same library.

# The one list of the library's sources is gateway/sources.txt (the install
# and build_kx_core_mex read it too); CMake reconfigures when it changes.
set(KX_GATEWAY_SOURCE_LIST ${PROJECT_SOURCE_DIR}/gateway/sources.txt)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KX_GATEWAY_SOURCE_LIST})
file(STRINGS ${KX_GATEWAY_SOURCE_LIST} KX_GATEWAY_SOURCES REGEX "^[^#]")
list(TRANSFORM KX_GATEWAY_SOURCES STRIP)
list(FILTER KX_GATEWAY_SOURCES EXCLUDE REGEX "^$")
if(NOT KX_GATEWAY_SOURCES)
  message(FATAL_ERROR "${KX_GATEWAY_SOURCE_LIST} lists no source")
endif()
list(TRANSFORM KX_GATEWAY_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)

# The command names, one a line in table order, read from the command table's
# {"name", handler} lines for the tests that go through every command, so no
# test keeps a list of its own. CMake reconfigures when the table changes; a
# unit test checks this file against the table the gateway is built with.
set(KX_COMMAND_TABLE_SOURCE ${PROJECT_SOURCE_DIR}/gateway/command_table.cpp)
set(KX_COMMAND_NAMES_FILE ${CMAKE_BINARY_DIR}/gateway/command_names.txt)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KX_COMMAND_TABLE_SOURCE})
file(STRINGS ${KX_COMMAND_TABLE_SOURCE} kx_command_entries REGEX "^[ \t]*[{]\"[^\"]+\",")
set(kx_command_names "")
foreach(entry IN LISTS kx_command_entries)
  string(REGEX REPLACE "^[ \t]*[{]\"([^\"]+)\",.*$" "\\1" name "${entry}")
  string(APPEND kx_command_names "${name}\n")
endforeach()
file(CONFIGURE OUTPUT ${KX_COMMAND_NAMES_FILE} CONTENT "${kx_command_names}" @ONLY)

include(${PROJECT_SOURCE_DIR}/cmake/KxMexModule.cmake)

# kx_add_gateway_library(<name> INCLUDE_DIRS <host include dirs> [DEFINITIONS <defs>])
function(kx_add_gateway_library name)
  cmake_parse_arguments(ARG "" "" "INCLUDE_DIRS;DEFINITIONS" ${ARGN})
  add_library(${name} STATIC ${KX_GATEWAY_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${ARG_INCLUDE_DIRS})
  target_compile_definitions(${name} PUBLIC ${ARG_DEFINITIONS})
  # Linked whole into MEX files: compiled as their own sources are.
  target_compile_options(${name} PUBLIC ${KX_MEX_COMPILE_OPTIONS})
  # The SDK's header only: the MEX file that links the library links the SDK.
  # dl: a session the SDK may still call into pins the file (dladdr, dlopen).
  target_link_libraries(${name} PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
endfunction()

# kx_add_mex_module(<target> GATEWAY <lib> BACKEND real|mock OUTPUT_DIR <dir>
#                   SUFFIX <.mex|.mexa64|.so> [LINK <host libs>] [LINK_OPTIONS <opts>])
# Builds kx_core_mex<suffix> into <dir>, with the SDK library (kx::sdk, see
# cmake/KxSdk.cmake) beside it, libkxcore.so.3.6.0 and its soname link, found
# through an $ORIGIN run path.
function(kx_add_mex_module target)
  cmake_parse_arguments(ARG "" "GATEWAY;BACKEND;OUTPUT_DIR;SUFFIX" "LINK;LINK_OPTIONS" ${ARGN})
  add_library(${target} MODULE ${PROJECT_SOURCE_DIR}/session/backend_${ARG_BACKEND}.cpp)
  target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${ARG_GATEWAY}>" kx::sdk ${ARG_LINK})
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic ${ARG_LINK_OPTIONS})
  kx_mex_module_properties(${target} NAME kx_core_mex SUFFIX ${ARG_SUFFIX} OUTPUT_DIR ${ARG_OUTPUT_DIR})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:kx::sdk> ${ARG_OUTPUT_DIR}/${KX_SDK_FILE_NAME}
    COMMAND ${CMAKE_COMMAND} -E create_symlink ${KX_SDK_FILE_NAME} ${ARG_OUTPUT_DIR}/${KX_SDK_SONAME}
    VERBATIM)
  # The help text beside the MEX file; configure_file copies it again
  # whenever it changes.
  if(EXISTS ${PROJECT_SOURCE_DIR}/matlab/kx_core_mex.m)
    configure_file(${PROJECT_SOURCE_DIR}/matlab/kx_core_mex.m ${ARG_OUTPUT_DIR}/kx_core_mex.m COPYONLY)
  endif()
endfunction()
