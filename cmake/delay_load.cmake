# System DLLs that are not among Windows' KnownDLLs are looked for in the
# program's own folder first when they are load-time imports, before the
# program's first line can say otherwise: a file of that name dropped beside
# the program (a download folder) would run inside it. Linked through
# delayed::<import library> instead, such a DLL is loaded at its first call,
# after the program's start-up has limited the search to the system folder
# (platform/dll_search.h), and so are the DLLs it pulls in.
#
# vexlar_delay_loaded(<import library> <DLL name>) makes delayed::<import library>.
# MinGW-w64 has no /DELAYLOAD: dlltool writes a delay-load import library from
# the exports of the ordinary one, and the helper that resolves its calls,
# __delayLoadHelper2, is in the MinGW runtime (libmingwex). MSVC's linker does
# the same with /DELAYLOAD and delayimp.lib (not tried on these machines).
# vexlar_delay_loaded_functions(<name> <DLL name> <function>...) makes
# delayed::<name> from the functions named instead of an import library: for
# the tests, a DLL or a function that is not there.
function(vexlar_delay_loaded_functions name dll)
  vexlar_delay_target(${name})
  list(JOIN ARGN "\n" exports)
  vexlar_write_delay_library(${name} ${dll} "${exports}" delay_library)
  target_link_libraries(delayed_${name} INTERFACE ${delay_library})
  if(MSVC)
    target_link_libraries(delayed_${name} INTERFACE delayimp)
    target_link_options(delayed_${name} INTERFACE /DELAYLOAD:${dll})
  endif()
endfunction()

function(vexlar_delay_loaded library dll)
  vexlar_delay_target(${library})
  if(MSVC)
    target_link_libraries(delayed_${library} INTERFACE ${library} delayimp)
    target_link_options(delayed_${library} INTERFACE /DELAYLOAD:${dll})
    return()
  endif()

  find_library(import_library_${library} NAMES ${library} REQUIRED)
  set(import_library ${import_library_${library}})
  set(delay_library ${CMAKE_BINARY_DIR}/delay_load/libdelayed_${library}.a)
  if(NOT EXISTS ${delay_library} OR ${import_library} IS_NEWER_THAN ${delay_library}
     OR ${CMAKE_CURRENT_FUNCTION_LIST_FILE} IS_NEWER_THAN ${delay_library})
    # Every function of the import library: each has an __imp_ pointer.
    execute_process(COMMAND ${CMAKE_NM} --defined-only ${import_library}
      OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" pointers "${symbols}")
    list(TRANSFORM pointers REPLACE " I __imp_" "")
    list(JOIN pointers "\n" exports)
    vexlar_write_delay_library(${library} ${dll} "${exports}" delay_library)
  endif()
  target_link_libraries(delayed_${library} INTERFACE ${delay_library})
endfunction()

function(vexlar_delay_target name)
  add_library(delayed_${name} INTERFACE)
  add_library(delayed::${name} ALIAS delayed_${name})
endfunction()

# Writes the import library of <DLL name> with the functions `exports` names
# (one a line) into the build's delay_load folder and sets <result> to its
# path: a delay-load library from dlltool, an ordinary one from MSVC's lib,
# which /DELAYLOAD makes delayed.
function(vexlar_write_delay_library name dll exports result)
  set(folder ${CMAKE_BINARY_DIR}/delay_load)
  file(MAKE_DIRECTORY ${folder})
  file(WRITE ${folder}/${name}.def "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
  if(MSVC)
    set(library ${folder}/${name}.lib)
    execute_process(COMMAND ${CMAKE_AR} /nologo /def:${name}.def /out:${library} /machine:x64
      WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
  else()
    # Named from where it is run: dlltool makes the library's symbols from
    # the path it is given, which would put the build folder into every
    # program linked with it.
    set(library ${folder}/libdelayed_${name}.a)
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${name}.def --output-delaylib libdelayed_${name}.a
      WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${result} ${library} PARENT_SCOPE)
endfunction()
