# Checks the export form of a built module with readelf.
#   cmake -DMODULE=path -DKIND=matlab|mex|octave -P check_module.cmake
# MEX modules (matlab, and mex: the gateway built for Octave): the only
# exported dynamic symbol is mexFunction@@MEX; the native Octave module
# (octave) exports Gspectrogrid alone. All: the unwind tables are there and
# no run path points into the build.
# MATLAB's also: base version name spectrogrid.mexa64, the three host
# libraries among its needed libraries, and the NODELETE flag, which keeps
# it and its OpenMP runtime loaded when MATLAB unloads it.
find_program(READELF readelf REQUIRED)
set(failures "")

function(readelf_output option out)
  execute_process(COMMAND ${READELF} --wide ${option} ${MODULE}
                  OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf ${option} ${MODULE} failed: ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Defined global and weak dynamic symbols. The linker also lists each
# version node as an absolute symbol of its own name (MEX); that names the
# version, it is not an export.
readelf_output(--dyn-syms symbols)
string(REPLACE "\n" ";" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^ *[0-9]+: +[0-9a-f]+ +([0-9]+) +([A-Z_]+) +(GLOBAL|WEAK|UNIQUE) +[A-Z]+ +([A-Z0-9]+) +([^ ]+)")
    set(size ${CMAKE_MATCH_1})
    set(type ${CMAKE_MATCH_2})
    set(section ${CMAKE_MATCH_4})
    set(name ${CMAKE_MATCH_5})
    if(section STREQUAL "UND")
      continue()
    endif()
    if(section STREQUAL "ABS" AND type STREQUAL "OBJECT" AND size EQUAL 0 AND name STREQUAL "MEX")
      continue()
    endif()
    list(APPEND exported "${name}")
  endif()
endforeach()
if(KIND STREQUAL "octave")
  set(expected "Gspectrogrid")
else()
  set(expected "mexFunction@@MEX")
endif()
if(NOT exported STREQUAL expected)
  list(APPEND failures "exported symbols are [${exported}], expected exactly ${expected}")
endif()

readelf_output(--section-headers sections)
if(NOT sections MATCHES " \\.eh_frame ")
  list(APPEND failures "no .eh_frame section")
endif()

readelf_output(--dynamic dynamic)
if(dynamic MATCHES "\\((RPATH|RUNPATH)\\)")
  list(APPEND failures "has a run path: the module must find the host libraries the host loaded")
endif()

if(KIND STREQUAL "matlab")
  foreach(library libmx.so libmex.so libmat.so)
    if(NOT dynamic MATCHES "\\(NEEDED\\)[^\n]*\\[${library}\\]")
      list(APPEND failures "${library} is not among the needed libraries")
    endif()
  endforeach()
  if(NOT dynamic MATCHES "\\(FLAGS_1\\)[^\n]*NODELETE")
    list(APPEND failures "not marked NODELETE: unloading it would unmap libgomp under its parked threads")
  endif()
  readelf_output(--version-info versions)
  if(NOT versions MATCHES "Flags: BASE +Index: 1 +Cnt: 1 +Name: spectrogrid\\.mexa64")
    list(APPEND failures "base version name is not spectrogrid.mexa64")
  endif()
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
message(STATUS "${MODULE}: exports ${expected} only; .eh_frame present")
