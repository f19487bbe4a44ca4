# Fails when a host of the library (the command-line tool, the window, the
# plugins, the web page) includes one of the library's internal headers. The
# hosts reach the library through its public headers alone: library/exports.h,
# tambelo/render.h, tambelo/track_messages.h, tambelo/music_set.h and
# tambelo/live_player.h.
#   cmake -DROOT=<source folder> -P library_boundary.cmake
cmake_minimum_required(VERSION 3.25)
set(sources "")
foreach(host IN ITEMS cli frontend plugins web)
  file(GLOB_RECURSE host_sources RELATIVE "${ROOT}" "${ROOT}/${host}/*.cpp" "${ROOT}/${host}/*.h" "${ROOT}/${host}/*.c")
  list(APPEND sources ${host_sources})
endforeach()
list(FILTER sources EXCLUDE REGEX "/node_modules/")
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS "${ROOT}/${source}" includes REGEX "^#include \"library/")
  list(FILTER includes EXCLUDE REGEX "^#include \"library/exports\\.h\"")
  foreach(line IN LISTS includes)
    string(APPEND found "\n  ${source}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "library internals included by a host:${found}")
endif()
