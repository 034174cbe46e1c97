# Puts the Octave package together and packs it (package.cmake):
#   cmake -DFILES=files.txt -DSTAGE=dir -DPACKAGE=spectrogrid-<version>.tar.gz
#         -DDATE=YYYY-MM-DD -P stage.cmake
# FILES lists, "path in the package<TAB>file" a line, every file the
# package holds; they go into STAGE/spectrogrid/ and nothing else does.
# The archive lists its files in name order, each dated DATE (the release's).
cmake_minimum_required(VERSION 3.25)
file(STRINGS ${FILES} lines)
file(REMOVE_RECURSE ${STAGE})
set(entries "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([^\t]+)\t(.+)$")
    message(FATAL_ERROR "stage: ${FILES}: bad line \"${line}\"")
  endif()
  set(entry spectrogrid/${CMAKE_MATCH_1})
  if(entry IN_LIST entries)
    message(FATAL_ERROR "stage: two files would be ${entry}")
  endif()
  list(APPEND entries ${entry})
  get_filename_component(directory ${STAGE}/${entry} DIRECTORY)
  file(MAKE_DIRECTORY ${directory})
  file(COPY_FILE ${CMAKE_MATCH_2} ${STAGE}/${entry})
endforeach()
list(SORT entries)

get_filename_component(package_dir ${PACKAGE} DIRECTORY)
file(MAKE_DIRECTORY ${package_dir})
file(REMOVE ${PACKAGE})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${PACKAGE} --format=gnutar "--mtime=${DATE} 00:00:00 UTC"
                        -- ${entries}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "stage: could not write ${PACKAGE}")
endif()
