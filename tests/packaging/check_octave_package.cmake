# Checks the entries of the Octave package against the source tree:
#   cmake -DSOURCE_DIR=path -DPACKAGE=spectrogrid-<version>.tar.gz
#         -DHELP_HEADER=build/.../spectrogrid_help.h -P check_octave_package.cmake
# The package must be named after VERSION and hold, under spectrogrid/ and
# nothing else: DESCRIPTION (name, version and release date), INDEX,
# COPYING (LICENSE), NEWS (CHANGELOG.md); in src/ the Makefile, the Octave
# entry point as spectrogrid.cc, the rest of the gateway that module is
# built from, the help header the build generated, and every source and
# header under core/ at its path there, each with the bytes of the file in
# the tree. Whether they build, and into what, is for the install test.
cmake_minimum_required(VERSION 3.25)
foreach(variable SOURCE_DIR PACKAGE HELP_HEADER)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_octave_package: ${variable} is not set")
  endif()
endforeach()

set(failures "")
file(STRINGS ${SOURCE_DIR}/VERSION version LIMIT_COUNT 1)
get_filename_component(package_name ${PACKAGE} NAME)
if(NOT package_name STREQUAL "spectrogrid-${version}.tar.gz")
  string(APPEND failures "  package is named ${package_name}, not spectrogrid-${version}.tar.gz\n")
endif()

# Entry -> the file whose bytes it must have ("-": checked below).
set(gateway ${SOURCE_DIR}/gateway)
set(expected
  DESCRIPTION - INDEX - src/Makefile -
  COPYING ${SOURCE_DIR}/LICENSE NEWS ${SOURCE_DIR}/CHANGELOG.md
  src/spectrogrid.cc ${gateway}/spectrogrid_oct.cc src/arguments.cpp ${gateway}/arguments.cpp
  src/arguments.h ${gateway}/arguments.h src/spectrogrid_oct.map ${gateway}/spectrogrid_oct.map
  src/spectrogrid_help.h ${HELP_HEADER})
file(GLOB_RECURSE core_files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/core/*.cpp ${SOURCE_DIR}/core/*.cc ${SOURCE_DIR}/core/*.h ${SOURCE_DIR}/core/*.hpp)
foreach(file IN LISTS core_files)
  list(APPEND expected src/${file} ${SOURCE_DIR}/${file})
endforeach()
set(entries "")
while(expected)
  list(POP_FRONT expected entry original)
  list(APPEND entries spectrogrid/${entry})
  set(bytes_of_spectrogrid/${entry} "${original}")
endwhile()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${PACKAGE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_octave_package: cannot read ${PACKAGE}: ${error}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" listed "${listing}")
list(FILTER listed EXCLUDE REGEX "/$")
list(SORT listed)
list(SORT entries)
if(NOT listed STREQUAL entries)
  string(APPEND failures "  package holds [${listed}]\n  expected [${entries}]\n")
endif()

get_filename_component(unpacked ${PACKAGE} DIRECTORY)
set(unpacked ${unpacked}/check_octave_package_unpacked)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${PACKAGE} WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_octave_package: cannot unpack ${PACKAGE}")
endif()
foreach(entry IN LISTS entries)
  set(original "${bytes_of_${entry}}")
  if(NOT original STREQUAL "-" AND EXISTS ${unpacked}/${entry})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${unpacked}/${entry} ${original}
                    RESULT_VARIABLE different OUTPUT_QUIET ERROR_QUIET)
    if(NOT different EQUAL 0)
      string(APPEND failures "  ${entry} differs from ${original}\n")
    endif()
  endif()
endforeach()

# The fields Octave's pkg requires, and the version and date of this release.
file(STRINGS ${SOURCE_DIR}/CHANGELOG.md heading REGEX "^## \\[${version}\\] - ")
string(REGEX REPLACE "^.* - " "" date "${heading}")
set(description ${unpacked}/spectrogrid/DESCRIPTION)
if(EXISTS ${description})
  file(READ ${description} text)
  foreach(field "Name: spectrogrid" "Version: ${version}" "Date: ${date}" "Title: [^\n]+"
                "Author: [^\n]+" "Maintainer: [^\n]+" "Description: [^\n]+" "License: BSD-3-Clause")
    if(NOT text MATCHES "(^|\n)${field}\n")
      string(APPEND failures "  DESCRIPTION has no line \"${field}\"\n")
    endif()
  endforeach()
endif()
set(index ${unpacked}/spectrogrid/INDEX)
if(EXISTS ${index})
  file(READ ${index} text)
  if(NOT text MATCHES "^spectrogrid >> [^\n]+\n[^ \n][^\n]*\n spectrogrid\n$")
    string(APPEND failures "  INDEX does not list spectrogrid under a category:\n${text}\n")
  endif()
endif()
set(makefile ${unpacked}/spectrogrid/src/Makefile)
if(EXISTS ${makefile})
  file(READ ${makefile} text)
  string(REGEX REPLACE "(^|\n)#[^\n]*" "" text "${text}")
  if(NOT text MATCHES "-ffp-contract=off" OR text MATCHES "-march|-mtune")
    string(APPEND failures "  the Makefile must build with -ffp-contract=off and for no particular processor\n")
  endif()
endif()
file(REMOVE_RECURSE ${unpacked})

if(failures)
  message(FATAL_ERROR "${PACKAGE}:\n${failures}")
endif()
list(LENGTH entries count)
message(STATUS "${PACKAGE}: ${count} files under spectrogrid/, each from the tree or the build")
