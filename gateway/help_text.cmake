# Turns the comment block at the top of the help file into a C++ header
# holding the same text, for the Octave module's own help.
#   cmake -DINPUT=spectrogrid.m -DOUTPUT=spectrogrid_help.h -P help_text.cmake
file(STRINGS ${INPUT} lines)
set(text "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^%")
    break()
  endif()
  string(REGEX REPLACE "^%" "" line "${line}")
  string(APPEND text "${line}\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from spectrogrid.m by help_text.cmake: edit that file instead.\n"
     "static const char spectrogridHelpText[] = R\"help(${text})help\";\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
