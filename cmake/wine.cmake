# How the Windows cross builds run their programs: under Wine, through the
# loader of the build's own width (scripts/wine-run.sh).
#
# Not every machine can execute 32-bit programs at all. The 32-bit build
# probes this once, at configure time, by starting the 32-bit loader (named
# by SPECTROGRID_WINE32_LOADER in the environment, /usr/lib/wine/wine by
# default). Where it cannot start, the programs of the build are not run:
# their tests report themselves skipped (exit code 77, SKIP_RETURN_CODE in
# tests/), with the reason; the checks that run nothing (the module's
# format, exports and imports) still run. The reason is also written to
# not_run.txt in the build tree, for test.sh to report. The 64-bit build is
# never skipped: a program it cannot run fails its test.
set(SPECTROGRID_PROGRAMS_NOT_RUN "")
if(SPECTROGRID_WINE_ARCH STREQUAL "win32")
  if(DEFINED ENV{SPECTROGRID_WINE32_LOADER})
    set(loader "$ENV{SPECTROGRID_WINE32_LOADER}")
  else()
    set(loader /usr/lib/wine/wine)
  endif()
  execute_process(COMMAND ${loader} --version
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output
                  TIMEOUT 60)
  if(NOT status EQUAL 0)
    string(REGEX REPLACE "[\r\n]+" " " output "${output}")
    string(STRIP "${output}" output)
    if(output STREQUAL "")
      set(output "${status}")
    endif()
    set(SPECTROGRID_PROGRAMS_NOT_RUN
        "this machine cannot execute 32-bit programs ('${loader} --version' failed: ${output})")
  endif()
endif()

set(not_run_file ${CMAKE_BINARY_DIR}/not_run.txt)
if(SPECTROGRID_PROGRAMS_NOT_RUN)
  message(WARNING "32-bit Windows programs will not be run: ${SPECTROGRID_PROGRAMS_NOT_RUN}")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/../scripts/not-run.sh "${SPECTROGRID_PROGRAMS_NOT_RUN}")
  file(WRITE ${not_run_file} "${SPECTROGRID_PROGRAMS_NOT_RUN}\n")
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
  file(REMOVE ${not_run_file})
endif()
