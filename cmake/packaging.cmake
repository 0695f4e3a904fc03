# The release package: one folder vexlar-<version>/ with the run folder's
# program, library and data, and a short README.txt for the user.
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

install(PROGRAMS $<TARGET_FILE:vexlar> $<TARGET_FILE:vexlar-capture> $<TARGET_FILE:bass>
  DESTINATION ${VEXLAR_PACKAGE_FOLDER})
install(FILES ${VEXLAR_RUN_DIR}/music.mp3 ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION ${VEXLAR_PACKAGE_FOLDER})
install(DIRECTORY ${VEXLAR_RUN_DIR}/shaders ${VEXLAR_RUN_DIR}/textures DESTINATION ${VEXLAR_PACKAGE_FOLDER})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vexlar)
set(CPACK_PACKAGE_FILE_NAME vexlar-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
