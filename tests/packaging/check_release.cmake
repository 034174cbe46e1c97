# Checks the release archive against the builds whose tests it follows:
#   cmake -DSOURCE_DIR=path -DARCHIVE=spectrogrid-<version>.zip
#         -DMANIFESTS="build/release/dist_files.txt;..." -P check_release.cmake
# Each manifest lists, one "role path" a line, the files a build put into
# dist/spectrogrid/ (gateway/CMakeLists.txt). The archive must be named after
# VERSION and hold exactly spectrogrid/ with those files, README.md, LICENSE
# and CHANGELOG.md; every file in it must have the bytes of the one the build
# made and tested, or of the source tree's. Between them the manifests must
# give the help file, Contents.m, spectrogridplot.m and the four modules,
# once each.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/packed_files.cmake)
require_variables(check_release SOURCE_DIR ARCHIVE MANIFESTS)

set(failures "")
file(STRINGS ${SOURCE_DIR}/VERSION version LIMIT_COUNT 1)
get_filename_component(archive_name ${ARCHIVE} NAME)
if(NOT archive_name STREQUAL "spectrogrid-${version}.zip")
  string(APPEND failures "  archive is named ${archive_name}, not spectrogrid-${version}.zip\n")
endif()

# What the archive must hold: entry name -> the file it must equal.
set(entries "spectrogrid/")
set(roles "")
foreach(manifest IN LISTS MANIFESTS)
  if(NOT EXISTS ${manifest})
    message(FATAL_ERROR "check_release: no ${manifest}; build that preset first")
  endif()
  file(STRINGS ${manifest} lines)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([a-z0-9-]+) (.+)$")
      message(FATAL_ERROR "check_release: ${manifest}: bad line \"${line}\"")
    endif()
    list(APPEND roles ${CMAKE_MATCH_1})
    get_filename_component(name "${CMAKE_MATCH_2}" NAME)
    list(APPEND entries "spectrogrid/${name}")
    set(original_of_spectrogrid/${name} "${CMAKE_MATCH_2}")
  endforeach()
endforeach()
foreach(document README.md LICENSE CHANGELOG.md)
  list(APPEND entries ${document})
  set(original_of_${document} ${SOURCE_DIR}/${document})
endforeach()

list(SORT roles)
set(expected_roles contents help matlab-glnxa64 matlab-win32 matlab-win64 octave plot)
if(NOT roles STREQUAL expected_roles)
  string(APPEND failures "  the builds list [${roles}], expected [${expected_roles}] once each\n")
endif()

# Unpacked into a fresh folder, every file is compared byte for byte.
get_filename_component(unpacked ${ARCHIVE} DIRECTORY)
set(unpacked ${unpacked}/check_release_unpacked)
check_packed_files(${ARCHIVE} ${unpacked} failures ${entries})
file(REMOVE_RECURSE ${unpacked})

if(failures)
  message(FATAL_ERROR "${ARCHIVE}:\n${failures}")
endif()
list(LENGTH entries count)
message(STATUS "${ARCHIVE}: ${count} entries, each file the one built and tested")
