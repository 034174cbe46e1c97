# Checks what a Windows MEX module exports and imports, with MinGW's objdump:
#   cmake -DMODULE=spectrogrid.mexw64 -DOBJDUMP=x86_64-w64-mingw32-objdump
#         -DSUFFIX=mexw64 -P check_windows_module.cmake
# The module must be a DLL of the right machine, export mexFunction and
# nothing else under its own module name, and import only the host's
# libmx.dll and libmex.dll, the C runtime every Windows has and KERNEL32.
foreach(variable MODULE OBJDUMP SUFFIX)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_windows_module: ${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -f -p ${MODULE}
                OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${MODULE}")
endif()

set(failures "")

if(SUFFIX STREQUAL "mexw64")
  set(expected_format "pei-x86-64")
  set(expected_magic "(PE32+)")
else()
  set(expected_format "pei-i386")
  set(expected_magic "(PE32)")
endif()
if(NOT dump MATCHES "file format ${expected_format}\n")
  string(APPEND failures "  not a ${expected_format} image\n")
endif()
if(NOT dump MATCHES "Magic[ \t]+[0-9a-f]+[ \t]+\\(${expected_magic}\\)" AND
   NOT dump MATCHES "Magic[^\n]*${expected_magic}")
  string(APPEND failures "  optional header is not ${expected_magic}\n")
endif()
if(NOT dump MATCHES "Characteristics[^\n]*\n([^\n]*\n)*[ \t]+DLL\n")
  string(APPEND failures "  not marked as a DLL\n")
endif()

# The export directory names the module and lists mexFunction alone.
if(NOT dump MATCHES "\nName[ \t]+[0-9a-f]+ spectrogrid\\.${SUFFIX}\n")
  string(APPEND failures "  export directory does not name spectrogrid.${SUFFIX}\n")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" names "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" entries "${names}")
set(exported "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${entry}")
  list(APPEND exported ${name})
endforeach()
if(NOT exported STREQUAL "mexFunction")
  string(APPEND failures "  exports are [${exported}], expected mexFunction only\n")
endif()

# Imported DLLs: exactly these, in any order and case.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(imported "")
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(TOLOWER "${name}" name)
  list(APPEND imported ${name})
endforeach()
list(SORT imported)
set(expected_imports kernel32.dll libmex.dll libmx.dll msvcrt.dll)
if(NOT imported STREQUAL expected_imports)
  string(APPEND failures "  imports [${imported}], expected [${expected_imports}]\n")
endif()

if(failures)
  message(FATAL_ERROR "${MODULE}:\n${failures}")
endif()
message(STATUS "${MODULE}: ${expected_format}, exports mexFunction as spectrogrid.${SUFFIX}, imports ${imported}")
