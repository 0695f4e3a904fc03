# GoogleTest, built from source with the project's own toolchain.
# Debian ships the sources in /usr/src/googletest; elsewhere point
# GOOGLETEST_SOURCE_DIR at a checkout, or provide an installed GTest package
# (with MSVC, one built for the static C runtime, such as vcpkg's
# x64-windows-static triplet).
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")

if(EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  # With MSVC, one C runtime for the programs, the tests and GoogleTest: the
  # static one of CMAKE_MSVC_RUNTIME_LIBRARY (top CMakeLists.txt), as MSVC
  # refuses to link objects built for both (LNK2038). GoogleTest's CMake files
  # predate that variable (policy CMP0091), so it is made to apply to them too.
  set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest CONFIG REQUIRED)
endif()

# Tests are grouped into a few executables, each run once by ctest (every
# process start under Wine costs time). They are kept out of the run folder.
set(VEXLAR_TEST_DIR ${CMAKE_BINARY_DIR}/tests${VEXLAR_CONFIG_SUBFOLDER})

# IN_RUN_FOLDER runs the tests from the run folder, for tests that load the
# program's shaders, texture or music by their relative paths.
function(vexlar_add_test name)
  cmake_parse_arguments(ARG "IN_RUN_FOLDER" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VEXLAR_TEST_DIR})
  # A suite's own sources are built unoptimised, in half the time: the code
  # they test lives in the libraries they link, built with the configuration's
  # flags like the programs.
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${name} PRIVATE -O0)
  endif()
  # And as one unit, so that GoogleTest's and Windows' headers are read once a
  # suite rather than once a file (the suites' build in half the time), unless
  # the build says otherwise with CMAKE_UNITY_BUILD.
  if(NOT DEFINED CMAKE_UNITY_BUILD)
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  endif()
  set(workingDirectory ${VEXLAR_TEST_DIR})
  if(ARG_IN_RUN_FOLDER)
    set(workingDirectory ${VEXLAR_RUN_DIR})
    add_dependencies(${name} run_folder)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${workingDirectory})
endfunction()
