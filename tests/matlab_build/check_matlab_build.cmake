# cmake -P script: lays out a fake MATLAB installation, builds the project's
# MATLAB MEX files (the gateway and the toolbox's file MEX) against it with
# -DMatlab_ROOT_DIR, and checks them. The sub-build links a device SDK from a
# folder of its own (-DKX_SDK_DIR, holding a copy of the simulated SDK), as a
# build against the vendor's SDK does, so it builds no simulator.
cmake_minimum_required(VERSION 3.21)

foreach(var KX_SOURCE_DIR KX_HOST_INCLUDE_DIR KX_HOST_LIBRARY KX_SDK_LIBRARY KX_WORK_DIR KX_GENERATOR
            KX_C_COMPILER KX_CXX_COMPILER KX_NM KX_READELF)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(root ${KX_WORK_DIR}/fake-matlab)
set(sdk_dir ${KX_WORK_DIR}/vendor-sdk)
set(build ${KX_WORK_DIR}/build)
set(mex_file ${build}/matlab/kx_core_mex.mexa64)
set(edf_file ${build}/matlab/kx_edf_mex.mexa64)
file(REMOVE_RECURSE ${KX_WORK_DIR})

# ---- the fake installation ---------------------------------------------------
# Headers and libraries: FindMatlab looks for mex.h in extern/include and for
# libmex/libmx in bin/glnxa64; the substitute host library provides every
# mex* and mx* function the gateway calls.
file(COPY ${KX_HOST_INCLUDE_DIR}/mex.h ${KX_HOST_INCLUDE_DIR}/matrix.h DESTINATION ${root}/extern/include)
file(MAKE_DIRECTORY ${root}/bin/glnxa64)
foreach(lib mex mx)
  file(COPY_FILE ${KX_HOST_LIBRARY} ${root}/bin/glnxa64/lib${lib}.so)
endforeach()
# The MEX extension comes from running bin/mexext.
file(WRITE ${root}/bin/mexext "#!/bin/sh\necho mexa64\n")
file(CHMOD ${root}/bin/mexext PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
           WORLD_READ WORLD_EXECUTE)
# The version: without a matlab program to run, FindMatlab reads
# VersionInfo.xml, which it does for an installation whose appdata/version.xml
# names a runtime.
file(WRITE ${root}/VersionInfo.xml
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<version_info>\n  <version>25.2.0</version>\n"
     "  <release>R2025b</release>\n</version_info>\n")
file(WRITE ${root}/appdata/version.xml
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<productVersionInfo>\n"
     "  <installedProductData displayedString=\"MATLAB Runtime\" />\n</productVersionInfo>\n")
# The version sources that matlab_add_mex would compile into a module. The
# gateway exports mexfilerequiredapiversion itself, so neither may be built in;
# the marker symbol shows if one was.
foreach(source c_mexapi_version.c cpp_mexapi_version.cpp)
  file(WRITE ${root}/extern/version/${source}
       "#ifdef __cplusplus\nextern \"C\"\n#endif\n"
       "void mexfilerequiredapiversion(unsigned int* r, unsigned int* v) { *r = 1; *v = 1; }\n"
       "#ifdef __cplusplus\nextern \"C\"\n#endif\n"
       "int kx_fake_matlab_version_source = 1;\n")
endforeach()

# ---- the SDK folder ------------------------------------------------------------
file(MAKE_DIRECTORY ${sdk_dir})
file(COPY_FILE ${KX_SDK_LIBRARY} ${sdk_dir}/libkxcore.so.3.6.0)

# ---- the sub-build -------------------------------------------------------------
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

run_step("configure" ${CMAKE_COMMAND} -S ${KX_SOURCE_DIR} -B ${build} -G ${KX_GENERATOR}
         -DCMAKE_C_COMPILER=${KX_C_COMPILER} -DCMAKE_CXX_COMPILER=${KX_CXX_COMPILER}
         -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG=-O0 -DCMAKE_CXX_FLAGS_DEBUG=-O0
         -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DMatlab_ROOT_DIR=${root} -DKX_SDK_DIR=${sdk_dir}
         -DKX_BUILD_OCTAVE=OFF -DKX_BUILD_TESTS=OFF -DKX_BUILD_BENCH=OFF)
if(NOT step_output MATCHES "MATLAB found in ${root}")
  message(FATAL_ERROR "FindMatlab did not accept the fake installation:\n${step_output}")
endif()
run_step("build" ${CMAKE_COMMAND} --build ${build} --target toolbox -j2)
set(installed ${KX_WORK_DIR}/installed/kx_core_mex)
run_step("install" ${CMAKE_COMMAND} --install ${build} --prefix ${KX_WORK_DIR}/installed)

# ---- the checks ----------------------------------------------------------------
foreach(file ${mex_file} ${edf_file})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} was not built")
  endif()
endforeach()
set(failures "")
if(NOT EXISTS ${build}/matlab/libkxcore.so.3)
  string(APPEND failures "  libkxcore.so.3 is not beside the MEX file\n")
endif()
# The SDK beside the MEX file is the one KX_SDK_DIR named, and nothing of the
# simulator was built.
file(SHA256 ${sdk_dir}/libkxcore.so.3.6.0 sdk_hash)
if(EXISTS ${build}/matlab/libkxcore.so.3.6.0)
  file(SHA256 ${build}/matlab/libkxcore.so.3.6.0 copied_hash)
else()
  set(copied_hash "")
endif()
if(NOT copied_hash STREQUAL sdk_hash)
  string(APPEND failures "  libkxcore.so.3.6.0 beside the MEX file is not the one from KX_SDK_DIR\n")
endif()
file(GLOB_RECURSE simulator_files ${build}/simsdk/*)
if(simulator_files)
  string(APPEND failures "  the simulated SDK was built although KX_SDK_DIR names the SDK\n")
endif()

# What every MEX file must show: both entry points exported, and RUNPATH
# $ORIGIN. Leaves the dynamic symbols in `exports` and the dynamic section in
# `dynamic` for the checks of each file.
function(check_mex_file file label)
  run_step("nm -D" ${KX_NM} -D --defined-only ${file})
  set(exports "${step_output}" PARENT_SCOPE)
  foreach(symbol mexFunction mexfilerequiredapiversion)
    if(NOT step_output MATCHES " T ${symbol}\n")
      string(APPEND failures "  ${label}: ${symbol} is not exported\n")
    endif()
  endforeach()
  run_step("readelf -d" ${KX_READELF} -d ${file})
  set(dynamic "${step_output}" PARENT_SCOPE)
  if(NOT step_output MATCHES "\\(RUNPATH\\)[^\n]*\\[\\$ORIGIN\\]")
    string(APPEND failures "  ${label}: the run path is not RUNPATH $ORIGIN:\n${step_output}\n")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

check_mex_file(${mex_file} kx_core_mex)
if(NOT dynamic MATCHES "\\(NEEDED\\)[^\n]*\\[libkxcore\\.so\\.3\\]")
  string(APPEND failures "  the MEX file does not link libkxcore.so.3:\n${dynamic}\n")
endif()

run_step("nm" ${KX_NM} ${mex_file})
string(REGEX MATCHALL " [A-Za-z] mexfilerequiredapiversion\n" definitions "${step_output}")
list(LENGTH definitions definition_count)
if(NOT definition_count EQUAL 1)
  string(APPEND failures "  mexfilerequiredapiversion is defined ${definition_count} times\n")
endif()
if(step_output MATCHES "kx_fake_matlab_version_source")
  string(APPEND failures "  a MATLAB version source was built in\n")
endif()

# The file MEX: the same exports and run path, EDFlib linked, and neither
# the SDK nor the gateway.
check_mex_file(${edf_file} kx_edf_mex)
if(exports MATCHES "Handle[A-Z]")
  string(APPEND failures "  kx_edf_mex exports gateway symbols\n")
endif()
if(NOT dynamic MATCHES "\\[libedf\\.so\\.1\\]")
  string(APPEND failures "  kx_edf_mex does not link libedf.so.1\n")
endif()
if(dynamic MATCHES "libkxcore")
  string(APPEND failures "  kx_edf_mex links the SDK\n")
endif()

# Every source of the MATLAB gateway library is compiled for the
# interleaved-complex API, and nothing from the installation's extern/version.
file(READ ${build}/compile_commands.json commands)
string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(gateway_sources 0)
foreach(index RANGE ${last})
  string(JSON command GET "${commands}" ${index} command)
  string(JSON source GET "${commands}" ${index} file)
  if(source MATCHES "extern/version")
    string(APPEND failures "  ${source} was compiled\n")
  endif()
  if(command MATCHES "kx_edf_mex_matlab\\.dir" AND NOT command MATCHES "-DMATLAB_DEFAULT_RELEASE=R2018a( |$)")
    string(APPEND failures "  ${source} was compiled without MATLAB_DEFAULT_RELEASE=R2018a\n")
  endif()
  if(command MATCHES "kx_gateway_matlab\\.dir")
    math(EXPR gateway_sources "${gateway_sources} + 1")
    if(NOT command MATCHES "-DMATLAB_DEFAULT_RELEASE=R2018a( |$)")
      string(APPEND failures "  ${source} was compiled without MATLAB_DEFAULT_RELEASE=R2018a\n")
    endif()
  endif()
endforeach()
if(gateway_sources EQUAL 0)
  string(APPEND failures "  no source of kx_gateway_matlab in compile_commands.json\n")
endif()

# The install: both backends, the file MEX and the SDK; the mock in mock/
# with a link to the SDK beside the real one.
foreach(name kx_core_mex.mexa64 kx_edf_mex.mexa64 libkxcore.so.3.6.0 libkxcore.so.3 kx_core_mex.m
             mock/kx_core_mex.mexa64 mock/kx_core_mex.m mock/libkxcore.so.3)
  if(NOT EXISTS ${installed}/${name})
    string(APPEND failures "  the install lacks ${name}\n")
  endif()
endforeach()
if(EXISTS ${installed}/mock/libkxcore.so.3)
  file(REAL_PATH ${installed}/mock/libkxcore.so.3 mock_sdk)
  if(NOT mock_sdk STREQUAL "${installed}/libkxcore.so.3.6.0")
    string(APPEND failures "  mock/libkxcore.so.3 leads to ${mock_sdk}, not to the installed SDK\n")
  endif()
endif()
if(EXISTS ${installed}/mock/kx_core_mex.mexa64)
  check_mex_file(${installed}/mock/kx_core_mex.mexa64 "the mock kx_core_mex")
  file(SHA256 ${installed}/mock/kx_core_mex.mexa64 mock_hash)
  file(SHA256 ${installed}/kx_core_mex.mexa64 real_hash)
  if(mock_hash STREQUAL real_hash)
    string(APPEND failures "  the installed mock MEX file is the real one\n")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "The MATLAB MEX file built against the fake installation:\n${failures}")
endif()
message(STATUS "kx_core_mex.mexa64 (both backends) and kx_edf_mex.mexa64 built against the fake installation, installed and checked")
