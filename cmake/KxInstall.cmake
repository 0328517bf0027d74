# `cmake --install <build> --prefix P` (and `make install PREFIX=P`) lays out
# one relocatable toolbox folder, P/kx_core_mex:
#   kx_core_mex.mex        GNU Octave, real backend (kx_core_mex.mexa64 too
#                          where MATLAB was found)
#   kx_edf_mex.mex         the toolbox's BDF+/EDF+ files (.mexa64 too where
#                          MATLAB was found); EDFlib from the system
#   libkxcore.so.3.6.0     the SDK, with its soname link libkxcore.so.3; the
#                          MEX files find it through their $ORIGIN run path
#   *.m, private/          the toolbox functions and the kx_core_mex help
#   examples/              example scripts (not meant for the path)
#   src/                   the gateway sources (src/gateway/sources.txt
#                          lists them) and src/mex (kx_edf_mex's sources), for
#                          build_kx_core_mex
# Nothing outside the folder is needed: addpath('P/kx_core_mex') from anywhere.
set(KX_INSTALL_DIR kx_core_mex)

if(TARGET kx_core_mex_octave)
  install(TARGETS kx_core_mex_octave LIBRARY DESTINATION ${KX_INSTALL_DIR})
endif()
if(TARGET kx_core_mex_matlab)
  install(TARGETS kx_core_mex_matlab LIBRARY DESTINATION ${KX_INSTALL_DIR})
endif()
foreach(target kx_edf_mex_octave kx_edf_mex_matlab)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${KX_INSTALL_DIR})
  endif()
endforeach()
if(KX_SDK_DIR)
  install(FILES ${KX_SDK_DIR}/${KX_SDK_FILE_NAME} DESTINATION ${KX_INSTALL_DIR})
  install(CODE "execute_process(COMMAND \${CMAKE_COMMAND} -E create_symlink ${KX_SDK_FILE_NAME}
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KX_INSTALL_DIR}/${KX_SDK_SONAME}\")")
else()
  install(TARGETS kxcore_sim LIBRARY DESTINATION ${KX_INSTALL_DIR} NAMELINK_SKIP)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/matlab/ DESTINATION ${KX_INSTALL_DIR}
        FILES_MATCHING PATTERN "*.m")
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
