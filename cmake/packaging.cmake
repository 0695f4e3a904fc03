# The release package: one folder vexlar-<version>/ with the run folder's
# programs, library and data, and a short README.txt for the user.
# scripts/package.sh installs it into a staging folder and zips it with fixed
# times and order; CPack (cpack -G ZIP) gives the same layout where that script
# cannot run, though not byte for byte reproducible: it stores files in
# directory-reading order and with the packager's user ids.
set(VEXLAR_PACKAGE_FOLDER vexlar-${PROJECT_VERSION})

# Packaging builds what it installs itself (the run_folder target), not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(VEXLAR_SOURCE_COMMIT "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE result)
  if(result EQUAL 0)
    set(VEXLAR_SOURCE_COMMIT " (commit ${commit})")
  endif()
endif()

# Windows line ends, for any text editor there.
configure_file(${CMAKE_CURRENT_LIST_DIR}/package-readme.txt.in ${CMAKE_BINARY_DIR}/package/README.txt.lf @ONLY)
file(READ ${CMAKE_BINARY_DIR}/package/README.txt.lf readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt.new "${readme}")
file(COPY_FILE ${CMAKE_BINARY_DIR}/package/README.txt.new ${CMAKE_BINARY_DIR}/package/README.txt ONLY_IF_DIFFERENT)

# What the package ships is the run folder's list: the programs and the
# library, and the data each folder's CMakeLists.txt puts there (the global
# property VEXLAR_RUN_FOLDER_DATA, paths relative to the run folder). The same
# list is written to build/run-folder-files.txt (build/run-folder-files/<configuration>.txt
# under a multi-configuration generator), which tests/e2e/multi_config_tests.sh reads.
set(run_folder_programs vexlar vexlar-capture bass)
get_property(run_folder_data GLOBAL PROPERTY VEXLAR_RUN_FOLDER_DATA)
set(run_folder_files "")
foreach(program IN LISTS run_folder_programs)
  install(PROGRAMS $<TARGET_FILE:${program}> DESTINATION ${VEXLAR_PACKAGE_FOLDER})
  list(APPEND run_folder_files $<TARGET_FILE_NAME:${program}>)
endforeach()
foreach(file IN LISTS run_folder_data)
  get_filename_component(folder ${file} DIRECTORY)
  install(FILES ${VEXLAR_RUN_DIR}/${file} DESTINATION ${VEXLAR_PACKAGE_FOLDER}/${folder})
  list(APPEND run_folder_files ${file})
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION ${VEXLAR_PACKAGE_FOLDER})
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/run-folder-files${VEXLAR_CONFIG_SUBFOLDER}.txt
  CONTENT "$<JOIN:${run_folder_files},\n>\n")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vexlar)
set(CPACK_PACKAGE_FILE_NAME vexlar-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
