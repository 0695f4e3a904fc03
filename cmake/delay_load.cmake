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
function(vexlar_delay_loaded library dll)
  add_library(delayed_${library} INTERFACE)
  add_library(delayed::${library} ALIAS delayed_${library})
  if(MSVC)
    target_link_libraries(delayed_${library} INTERFACE ${library} delayimp)
    target_link_options(delayed_${library} INTERFACE /DELAYLOAD:${dll})
    return()
  endif()

  find_library(import_library_${library} NAMES ${library} REQUIRED)
  set(import_library ${import_library_${library}})
  set(folder ${CMAKE_BINARY_DIR}/delay_load)
  set(delay_library ${folder}/libdelayed_${library}.a)
  if(NOT EXISTS ${delay_library} OR ${import_library} IS_NEWER_THAN ${delay_library})
    file(MAKE_DIRECTORY ${folder})
    # Every function of the import library: each has an __imp_ pointer.
    execute_process(COMMAND ${CMAKE_NM} --defined-only ${import_library}
      OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" pointers "${symbols}")
    list(TRANSFORM pointers REPLACE " I __imp_" "")
    list(JOIN pointers "\n" exports)
    file(WRITE ${folder}/${library}.def "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${library}.def --output-delaylib ${delay_library}
      WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  target_link_libraries(delayed_${library} INTERFACE ${delay_library})
endfunction()
