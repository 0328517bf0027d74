# `cmake --install <build> --prefix P` (and `make install PREFIX=P`) lays out
# one relocatable toolbox folder, P/kx_core_mex:
#   kx_core_mex.mex        GNU Octave, real backend (kx_core_mex.mexa64 too
#                          where MATLAB was found)
#   kx_edf_mex.mex         the toolbox's BDF+/EDF+ files (.mexa64 too where
#                          MATLAB was found); EDFlib from the system
#   libkxcore.so.3.6.0     the SDK, with its soname link libkxcore.so.3; the
#                          MEX files find it through their $ORIGIN run path
#   mock/                  the mock backend's kx_core_mex.mex (and .mexa64)
#                          with its help file and a link to the SDK above:
#                          addpath('P/kx_core_mex/mock') after
#                          addpath('P/kx_core_mex') puts it first
#   *.m, private/          the toolbox functions and the kx_core_mex help
#   examples/              example scripts (not meant for the path)
#   src/                   the gateway sources (src/gateway/sources.txt
#                          lists them) and src/mex (kx_edf_mex's sources), for
#                          build_kx_core_mex
# Nothing outside the folder is needed: addpath('P/kx_core_mex') from anywhere.
# The target `toolbox` builds what is installed and nothing else (no tests,
# benchmarks or substitute host); `make install` builds it, then installs.
set(KX_INSTALL_DIR kx_core_mex)

set(_kx_installed_targets "")
foreach(target kx_core_mex_octave kx_core_mex_matlab kx_edf_mex_octave kx_edf_mex_matlab)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${KX_INSTALL_DIR})
    list(APPEND _kx_installed_targets ${target})
  endif()
endforeach()
foreach(target kx_core_mex_octave_mock kx_core_mex_matlab_mock)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${KX_INSTALL_DIR}/mock)
    list(APPEND _kx_installed_targets ${target})
    set(_kx_install_mock ON)
  endif()
endforeach()
if(_kx_install_mock)
  install(FILES ${PROJECT_SOURCE_DIR}/matlab/kx_core_mex.m DESTINATION ${KX_INSTALL_DIR}/mock)
  install(CODE "execute_process(COMMAND \${CMAKE_COMMAND} -E create_symlink ../${KX_SDK_SONAME}
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KX_INSTALL_DIR}/mock/${KX_SDK_SONAME}\")")
endif()
if(KX_SDK_DIR)
  install(FILES ${KX_SDK_DIR}/${KX_SDK_FILE_NAME} DESTINATION ${KX_INSTALL_DIR})
  install(CODE "execute_process(COMMAND \${CMAKE_COMMAND} -E create_symlink ${KX_SDK_FILE_NAME}
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KX_INSTALL_DIR}/${KX_SDK_SONAME}\")")
else()
  install(TARGETS kxcore_sim LIBRARY DESTINATION ${KX_INSTALL_DIR} NAMELINK_SKIP)
  list(APPEND _kx_installed_targets kxcore_sim)
endif()
add_custom_target(toolbox DEPENDS ${_kx_installed_targets})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/matlab/ DESTINATION ${KX_INSTALL_DIR}
        FILES_MATCHING PATTERN "*.m" PATTERN "mex" EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${KX_INSTALL_DIR}/examples
        FILES_MATCHING PATTERN "*.m")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/matlab/mex/ DESTINATION ${KX_INSTALL_DIR}/src/mex
        FILES_MATCHING PATTERN "*.cpp" PATTERN "*.h")
# The gateway's sources as gateway/sources.txt lists them, that list, the two
# backend files, and the headers of their folders and of interfaces/.
set(_kx_install_sources ${KX_GATEWAY_SOURCE_LIST} ${KX_GATEWAY_SOURCES}
    ${PROJECT_SOURCE_DIR}/session/backend_real.cpp ${PROJECT_SOURCE_DIR}/session/backend_mock.cpp)
set(_kx_install_folders interfaces)
foreach(file IN LISTS _kx_install_sources)
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${file})
  get_filename_component(folder ${relative} DIRECTORY)
  install(FILES ${file} DESTINATION ${KX_INSTALL_DIR}/src/${folder})
  list(APPEND _kx_install_folders ${folder})
endforeach()
list(REMOVE_DUPLICATES _kx_install_folders)
foreach(folder IN LISTS _kx_install_folders)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/ DESTINATION ${KX_INSTALL_DIR}/src/${folder}
          FILES_MATCHING PATTERN "*.h")
endforeach()
