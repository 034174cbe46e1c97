# The GNU Octave package dist/spectrogrid-<version>.tar.gz, which users
# install with "pkg install" and which compiles itself there with their
# Octave's mkoctfile (no CMake needed):
#
#   spectrogrid/DESCRIPTION, INDEX, COPYING (LICENSE), NEWS (CHANGELOG.md)
#   spectrogrid/src/Makefile          written here from the lists below
#   spectrogrid/src/spectrogrid.cc    the Octave entry point (spectrogrid_oct.cc),
#                                     with the self-tests "pkg install" extracts
#   spectrogrid/src/...               the rest of the gateway, its help header
#                                     and export list; the core's sources and
#                                     headers under their paths in this tree
#   spectrogrid/inst/spectrogridplot.m  the picture
#
# Nothing here names a core file: the sources are those of the core target,
# each with the instruction-set flags the build gives it, and the headers
# are those under the core's folders, so the package follows the core as
# files are added, moved or renamed. Included from gateway/CMakeLists.txt
# in x86 builds, where every instruction-set flag is known; the Makefile
# applies them only where the compiler targets x86.
set(package_core spectrogrid_core_parallel)
set(package_binary_dir ${CMAKE_CURRENT_BINARY_DIR}/octave-package)
set(package_template_dir ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(package_dist_dir ${SPECTROGRID_DIST_DIR} DIRECTORY)
set(SPECTROGRID_OCTAVE_PACKAGE ${package_dist_dir}/spectrogrid-${PROJECT_VERSION}.tar.gz)

# Every file of the package: "path in the package<TAB>file it is copied from".
set(package_files "")
function(package_file destination source)
  set(package_files "${package_files}${destination}\t${source}\n" PARENT_SCOPE)
endfunction()

# A path of this source tree as the package holds it.
function(package_path path out)
  cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${path}" NORMALIZE inside)
  if(NOT inside)
    message(FATAL_ERROR "Octave package: ${path} lies outside the source tree")
  endif()
  cmake_path(RELATIVE_PATH path BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE relative)
  set(${out} ${relative} PARENT_SCOPE)
endfunction()

# The core: one list of sources for both forms (the Makefile picks the
# serial or the parallel form by what the compiler supports), those the two
# forms share and those each compiles for itself; the definitions that make
# the parallel form are those it has beyond the serial one.
get_target_property(shared_sources spectrogrid_core_shared SOURCES)
get_target_property(core_sources ${package_core} SOURCES)
get_target_property(serial_sources spectrogrid_core_serial SOURCES)
list(FILTER core_sources EXCLUDE REGEX "^\\$<")
list(FILTER serial_sources EXCLUDE REGEX "^\\$<")
if(NOT core_sources STREQUAL serial_sources)
  message(FATAL_ERROR "Octave package: the serial and parallel cores have different sources")
endif()
list(PREPEND core_sources ${shared_sources})
get_target_property(core_dir ${package_core} SOURCE_DIR)
get_target_property(parallel_definitions ${package_core} COMPILE_DEFINITIONS)
get_target_property(serial_definitions spectrogrid_core_serial COMPILE_DEFINITIONS)
set(core_definitions "")
set(openmp_definitions "")
foreach(definition IN LISTS parallel_definitions)
  if(definition IN_LIST serial_definitions)
    string(APPEND core_definitions " -D${definition}")
  else()
    string(APPEND openmp_definitions " -D${definition}")
  endif()
endforeach()

set(core_objects "")
set(instruction_set_flags "")
foreach(listed IN LISTS core_sources)
  cmake_path(ABSOLUTE_PATH listed BASE_DIRECTORY ${core_dir} NORMALIZE OUTPUT_VARIABLE source)
  package_path(${source} relative)
  if(NOT relative MATCHES "\\.(cpp|cc)$")
    message(FATAL_ERROR "Octave package: ${relative} is not a C++ source the Makefile compiles")
  endif()
  # Flags of a single file, as the core's CMakeLists gives them. Only
  # instruction-set options (-m...) are carried; anything else would be
  # silently lost, so it stops the build here.
  foreach(property COMPILE_DEFINITIONS COMPILE_FLAGS INCLUDE_DIRECTORIES)
    get_source_file_property(value ${source} TARGET_DIRECTORY ${package_core} ${property})
    if(value)
      message(FATAL_ERROR "Octave package: ${relative} has ${property}, which its Makefile does not carry")
    endif()
  endforeach()
  get_source_file_property(options ${source} TARGET_DIRECTORY ${package_core} COMPILE_OPTIONS)
  string(REGEX REPLACE "\\.[a-z]+$" ".o" object ${relative})
  if(options)
    foreach(option IN LISTS options)
      if(NOT option MATCHES "^-m[a-z0-9.=-]+$")
        message(FATAL_ERROR "Octave package: ${relative} has the option ${option}, not an instruction set")
      endif()
    endforeach()
    list(JOIN options " " options)
    string(APPEND instruction_set_flags "${object}: INSTRUCTION_SETS = ${options}\n")
  endif()
  string(APPEND core_objects " \\\n  ${object}")
  package_file(src/${relative} ${source})
endforeach()

# Headers: every one under the core's folder and its include folders.
get_target_property(core_include_dirs ${package_core} INCLUDE_DIRECTORIES)
set(includes "")
set(header_dirs ${core_dir})
foreach(directory IN LISTS core_include_dirs)
  package_path(${directory} relative)
  string(APPEND includes " -I${relative}")
  list(APPEND header_dirs ${directory})
endforeach()
list(REMOVE_DUPLICATES header_dirs)
set(headers "")
foreach(directory IN LISTS header_dirs)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${directory}/*.h ${directory}/*.hpp)
  list(APPEND headers ${found})
endforeach()
list(REMOVE_DUPLICATES headers)
set(header_list "")
foreach(header IN LISTS headers)
  package_path(${header} relative)
  string(APPEND header_list " \\\n  ${relative}")
  package_file(src/${relative} ${header})
endforeach()

# The gateway, beside the Makefile. Its entry point is named after the
# function: pkg install extracts the self-tests of src/spectrogrid.cc into
# spectrogrid.cc-tst, which is where "test spectrogrid" looks for them.
set(gateway_objects "")
list(GET octave_sources 0 entry_point)
foreach(source IN LISTS octave_sources)
  get_filename_component(name ${source} NAME)
  if(source STREQUAL entry_point)
    set(name spectrogrid.cc)
  endif()
  string(REGEX REPLACE "\\.[a-z]+$" ".o" object ${name})
  string(APPEND gateway_objects " \\\n  ${object}")
  package_file(src/${name} ${CMAKE_CURRENT_SOURCE_DIR}/${source})
endforeach()
foreach(header IN LISTS octave_headers)
  string(APPEND header_list " \\\n  ${header}")
  package_file(src/${header} ${CMAKE_CURRENT_SOURCE_DIR}/${header})
endforeach()
get_filename_component(help_header_name ${help_header} NAME)
string(APPEND header_list " \\\n  ${help_header_name}")
package_file(src/${help_header_name} ${help_header})
package_file(src/${octave_export_map} ${CMAKE_CURRENT_SOURCE_DIR}/${octave_export_map})

# The description Octave's pkg reads, the index of functions, the licence
# and the change log (which "news spectrogrid" prints).
string(REGEX REPLACE "\\.$" "" SPECTROGRID_TITLE "${SPECTROGRID_SUMMARY}")
foreach(template DESCRIPTION INDEX Makefile)
  configure_file(${package_template_dir}/${template}.in ${package_binary_dir}/${template} @ONLY)
endforeach()
package_file(DESCRIPTION ${package_binary_dir}/DESCRIPTION)
package_file(INDEX ${package_binary_dir}/INDEX)
package_file(COPYING ${PROJECT_SOURCE_DIR}/LICENSE)
package_file(NEWS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
package_file(src/Makefile ${package_binary_dir}/Makefile)
# The picture, an m-file pkg install puts beside the module.
package_file(inst/spectrogridplot.m ${CMAKE_CURRENT_SOURCE_DIR}/spectrogridplot.m)

file(WRITE ${package_binary_dir}/files.txt.new "${package_files}")
file(COPY_FILE ${package_binary_dir}/files.txt.new ${package_binary_dir}/files.txt ONLY_IF_DIFFERENT)
file(REMOVE ${package_binary_dir}/files.txt.new)
string(REGEX MATCHALL "\t[^\n]+" package_sources "${package_files}")
list(TRANSFORM package_sources STRIP)

add_custom_command(
  OUTPUT ${SPECTROGRID_OCTAVE_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -DFILES=${package_binary_dir}/files.txt -DSTAGE=${package_binary_dir}/stage
          -DPACKAGE=${SPECTROGRID_OCTAVE_PACKAGE} -DDATE=${SPECTROGRID_RELEASE_DATE}
          -P ${package_template_dir}/stage.cmake
  DEPENDS ${package_sources} ${package_binary_dir}/files.txt ${package_template_dir}/stage.cmake
  COMMENT "Packing the Octave package ${SPECTROGRID_OCTAVE_PACKAGE}"
  VERBATIM)
add_custom_target(spectrogrid_octave_package ALL DEPENDS ${SPECTROGRID_OCTAVE_PACKAGE})
add_dependencies(spectrogrid_octave_package spectrogrid_octave)
