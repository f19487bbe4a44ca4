# Fails when a host of the library (the command-line tool, the window, the
# plugins, the web page) includes one of the library's internal headers. The
# hosts reach the library through its public headers alone: library/exports.h,
# tambelo/render.h, tambelo/track_messages.h, tambelo/music_set.h and
# tambelo/live_player.h. Of the command-line tool, the parts listed below
# still cross.
#   cmake -DROOT=<source folder> -P library_boundary.cmake
cmake_minimum_required(VERSION 3.25)
set(crossing_parts
  # Opening files and the console the platform's way.
  cli/console_windows.cpp cli/input_files_windows.cpp cli/whole_file.cpp
  # Loop points in frames, as the renderer counts them.
  cli/export/audio_file.h)
set(sources "")
foreach(host IN ITEMS cli frontend plugins web)
  file(GLOB_RECURSE host_sources RELATIVE "${ROOT}" "${ROOT}/${host}/*.cpp" "${ROOT}/${host}/*.h" "${ROOT}/${host}/*.c")
  list(APPEND sources ${host_sources})
endforeach()
list(FILTER sources EXCLUDE REGEX "/node_modules/")
set(found "")
foreach(source IN LISTS sources)
  # Writing sets (pack, import) builds on the score and voice formats.
  if(source MATCHES "^cli/(authoring|import)/" OR source IN_LIST crossing_parts)
    continue()
  endif()
  file(STRINGS "${ROOT}/${source}" includes REGEX "^#include \"library/")
  foreach(line IN LISTS includes)
    string(APPEND found "\n  ${source}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "library internals included by a host:${found}")
endif()
