# What the checks of packed files share: check_release.cmake (the release
# archive) and check_octave_package.cmake (the Octave package).

# require_variables(script VARIABLE...): each must have been set with -D.
function(require_variables script)
  foreach(variable IN LISTS ARGN)
    if(NOT DEFINED ${variable})
      message(FATAL_ERROR "${script}: ${variable} is not set")
    endif()
  endforeach()
endfunction()

# check_packed_files(archive unpacked result_variable ENTRY...): the
# archive must list exactly the entries, in any order. It is unpacked into
# the fresh folder `unpacked`, which is left for further checks, and each
# entry for which the caller set original_of_<entry> must have the bytes of
# that file. What fails is appended to the variable named result_variable.
function(check_packed_files archive unpacked result_variable)
  set(entries ${ARGN})
  set(found "${${result_variable}}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archive}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot read ${archive}: ${error}")
  endif()
  string(REGEX REPLACE "\n$" "" listing "${listing}")
  string(REPLACE "\n" ";" listed "${listing}")
  list(SORT listed)
  list(SORT entries)
  if(NOT listed STREQUAL entries)
    string(APPEND found "  ${archive} holds [${listed}]\n  expected [${entries}]\n")
  endif()

  file(REMOVE_RECURSE ${unpacked})
  file(MAKE_DIRECTORY ${unpacked})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive}
                  WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${archive}")
  endif()
  foreach(entry IN LISTS entries)
    if(NOT DEFINED original_of_${entry} OR NOT EXISTS ${unpacked}/${entry})
      continue()
    endif()
    set(original "${original_of_${entry}}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${unpacked}/${entry} ${original}
                    RESULT_VARIABLE different OUTPUT_QUIET ERROR_QUIET)
    if(NOT different EQUAL 0)
      string(APPEND found "  ${entry} differs from ${original}\n")
    endif()
  endforeach()
  set(${result_variable} "${found}" PARENT_SCOPE)
endfunction()
