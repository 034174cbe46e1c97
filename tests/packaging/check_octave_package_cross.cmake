# Runs the Octave package's Makefile with a compiler for a processor other
# than x86, for which no Octave exists here, through a stand-in mkoctfile:
#   cmake -DPACKAGE=spectrogrid-<version>.tar.gz -DCROSS_CXX=aarch64-linux-gnu-g++
#         -DSTAND_IN=mkoctfile_stand_in.sh -DWORK_DIR=dir -P check_octave_package_cross.cmake
# It builds the core twice: with the compiler as it is, which builds OpenMP
# programs, and refusing -fopenmp as Apple's clang does. Each time every
# core source must compile with -ffp-contract=off and no -m option (the
# x86 instruction-set files compile to their portable stand-ins) into an
# object for that processor, the first time as the parallel core (OpenMP,
# SPECTROGRID_OPENMP) and the second as the serial core, which calls no
# OpenMP function; and the objects must link into a shared library that
# leaves no symbol undefined.
cmake_minimum_required(VERSION 3.25)
foreach(variable PACKAGE CROSS_CXX STAND_IN WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_octave_package_cross: ${variable} is not set")
  endif()
endforeach()
find_program(MAKE_PROGRAM NAMES make gmake REQUIRED)
find_program(READELF readelf REQUIRED)

set(failures "")
foreach(core parallel serial)
  set(dir ${WORK_DIR}/${core})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${PACKAGE} WORKING_DIRECTORY ${dir} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "check_octave_package_cross: cannot unpack ${PACKAGE}")
  endif()
  set(src ${dir}/spectrogrid/src)
  set(environment STAND_IN_CXX=${CROSS_CXX} STAND_IN_LOG=${dir}/commands.txt)
  set(openmp -fopenmp)
  if(core STREQUAL "serial")
    list(APPEND environment STAND_IN_NO_OPENMP=1)
    set(openmp "")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${environment}
                          ${MAKE_PROGRAM} -C ${src} -j2 MKOCTFILE=${STAND_IN} core
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(APPEND failures "  ${core}: make core failed:\n${output}\n")
    continue()
  endif()

  file(GLOB_RECURSE sources RELATIVE ${src} ${src}/core/*.cpp ${src}/core/*.cc)
  file(STRINGS ${dir}/commands.txt commands)
  list(LENGTH sources source_count)
  list(LENGTH commands command_count)
  if(NOT command_count EQUAL source_count)
    string(APPEND failures "  ${core}: ${command_count} compiles for ${source_count} core sources\n")
  endif()
  foreach(command IN LISTS commands)
    set(flags_expected TRUE)
    if(NOT command MATCHES " -ffp-contract=off " OR command MATCHES "(^| )-m")
      set(flags_expected FALSE)
    elseif(core STREQUAL "parallel" AND NOT command MATCHES " -fopenmp .* -DSPECTROGRID_OPENMP ")
      set(flags_expected FALSE)
    elseif(core STREQUAL "serial" AND command MATCHES "openmp|OPENMP")
      set(flags_expected FALSE)
    endif()
    if(NOT flags_expected)
      string(APPEND failures "  ${core}: compiled as ${command}\n")
    endif()
  endforeach()

  list(TRANSFORM sources REPLACE "\\.[a-z]+$" ".o")
  list(TRANSFORM sources PREPEND ${src}/ OUTPUT_VARIABLE objects)
  execute_process(COMMAND ${READELF} --wide --file-header --symbols ${objects}
                  OUTPUT_VARIABLE elf RESULT_VARIABLE status ERROR_QUIET)
  string(REGEX MATCHALL "Machine: +AArch64" machines "${elf}")
  list(LENGTH machines aarch64_count)
  if(NOT status EQUAL 0 OR NOT aarch64_count EQUAL source_count)
    string(APPEND failures "  ${core}: ${aarch64_count} of ${source_count} objects are for AArch64\n")
  endif()
  if(core STREQUAL "parallel" AND NOT elf MATCHES " GOMP_parallel")
    string(APPEND failures "  parallel: the core starts no OpenMP region\n")
  elseif(core STREQUAL "serial" AND elf MATCHES "GOMP_|omp_[gs]et_")
    string(APPEND failures "  serial: the core calls the OpenMP runtime\n")
  endif()

  execute_process(COMMAND ${CROSS_CXX} -shared ${openmp} -o ${dir}/core.so ${objects} -Wl,--no-undefined
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(APPEND failures "  ${core}: the objects do not link into a shared library:\n${output}\n")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})

if(failures)
  message(FATAL_ERROR "${PACKAGE} with ${CROSS_CXX}:\n${failures}")
endif()
message(STATUS "${PACKAGE}: its core builds with ${CROSS_CXX} with no x86 option, "
               "in parallel (OpenMP) and serially (no OpenMP), and links")
