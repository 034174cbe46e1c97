# The version of spectrogrid, kept in one place: the file VERSION. Its
# release date is the one in the heading of that version in CHANGELOG.md
# ("## [1.0.0] - 2026-12-08"), so a version cannot be built without its
# entry there. Sets
#   SPECTROGRID_VERSION           1.0.0
#   SPECTROGRID_RELEASE_DATE      2026-12-08
#   SPECTROGRID_RELEASE_DATE_DMY  08-Dec-2026 (the form MATLAB's ver shows)
set(version_file ${CMAKE_CURRENT_LIST_DIR}/../VERSION)
set(changelog_file ${CMAKE_CURRENT_LIST_DIR}/../CHANGELOG.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${version_file} ${changelog_file})

file(STRINGS ${version_file} SPECTROGRID_VERSION LIMIT_COUNT 1)
if(NOT SPECTROGRID_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "VERSION holds \"${SPECTROGRID_VERSION}\", not major.minor.patch")
endif()

string(REPLACE "." "\\." version_pattern "${SPECTROGRID_VERSION}")
file(STRINGS ${changelog_file} heading
     REGEX "^## \\[${version_pattern}\\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
if(NOT heading MATCHES "([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
  message(FATAL_ERROR "CHANGELOG.md has no heading \"## [${SPECTROGRID_VERSION}] - YYYY-MM-DD\"")
endif()
set(SPECTROGRID_RELEASE_DATE "${CMAKE_MATCH_0}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR month_index "${CMAKE_MATCH_2} - 1")
if(month_index LESS 0 OR month_index GREATER 11)
  message(FATAL_ERROR "CHANGELOG.md: ${heading} has no month ${CMAKE_MATCH_2}")
endif()
list(GET months ${month_index} month)
set(SPECTROGRID_RELEASE_DATE_DMY "${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
