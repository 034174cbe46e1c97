# Checks the entries of the Octave package against the source tree:
#   cmake -DSOURCE_DIR=path -DPACKAGE=spectrogrid-<version>.tar.gz
#         -DHELP_HEADER=build/.../spectrogrid_help.h -P check_octave_package.cmake
# The package must be named after VERSION and hold, under spectrogrid/ and
# nothing else: DESCRIPTION (name, version and release date), INDEX,
# COPYING (LICENSE), NEWS (CHANGELOG.md); in src/ the Makefile, the Octave
# entry point as spectrogrid.cc, the rest of the gateway that module is
# built from, the help header the build generated, and every source and
# header under core/ at its path there; inst/spectrogridplot.m; each with
# the bytes of the file in the tree. Whether they build, and into what, is
# for the install test.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/packed_files.cmake)
require_variables(check_octave_package SOURCE_DIR PACKAGE HELP_HEADER)

set(failures "")
file(STRINGS ${SOURCE_DIR}/VERSION version LIMIT_COUNT 1)
get_filename_component(package_name ${PACKAGE} NAME)
if(NOT package_name STREQUAL "spectrogrid-${version}.tar.gz")
  string(APPEND failures "  package is named ${package_name}, not spectrogrid-${version}.tar.gz\n")
endif()

# Entry -> the file whose bytes it must have ("-": its text is checked below).
set(gateway ${SOURCE_DIR}/gateway)
set(expected
  DESCRIPTION - INDEX - src/Makefile -
  COPYING ${SOURCE_DIR}/LICENSE NEWS ${SOURCE_DIR}/CHANGELOG.md
  src/spectrogrid.cc ${gateway}/spectrogrid_oct.cc src/arguments.cpp ${gateway}/arguments.cpp
  src/arguments.h ${gateway}/arguments.h src/spectrogrid_oct.map ${gateway}/spectrogrid_oct.map
  src/spectrogrid_help.h ${HELP_HEADER} inst/spectrogridplot.m ${gateway}/spectrogridplot.m)
file(GLOB_RECURSE core_files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/core/*.cpp ${SOURCE_DIR}/core/*.cc ${SOURCE_DIR}/core/*.h ${SOURCE_DIR}/core/*.hpp)
foreach(file IN LISTS core_files)
  list(APPEND expected src/${file} ${SOURCE_DIR}/${file})
endforeach()
set(entries "")
while(expected)
  list(POP_FRONT expected entry original)
  list(APPEND entries spectrogrid/${entry})
  if(NOT original STREQUAL "-")
    set(original_of_spectrogrid/${entry} "${original}")
  endif()
endwhile()

get_filename_component(unpacked ${PACKAGE} DIRECTORY)
set(unpacked ${unpacked}/check_octave_package_unpacked)
check_packed_files(${PACKAGE} ${unpacked} failures ${entries})

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
  if(NOT text MATCHES "^spectrogrid >> [^\n]+\n[^ \n][^\n]*\n spectrogrid\n spectrogridplot\n$")
    string(APPEND failures "  INDEX does not list spectrogrid and spectrogridplot under a category:\n${text}\n")
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
