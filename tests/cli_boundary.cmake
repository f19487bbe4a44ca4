# Fails when a file of the command-line tool includes one of the library's
# internal headers outside the parts that still need them: the rest of the
# tool reaches the library through library/exports.h, tambelo/render.h and
# tambelo/track_messages.h alone.
#   cmake -DROOT=<source folder> -P cli_boundary.cmake
cmake_minimum_required(VERSION 3.25)
set(crossing_parts
  # play drives the live Player with the device the user chose, and ports
  # and the output notes list and describe those devices.
  cli/play_command.cpp cli/play_output.h cli/play_output.cpp cli/output_note.h cli/output_note_synth.cpp
  cli/ports_command.cpp cli/ports_command_windows.cpp
  # Opening files and the console the platform's way.
  cli/console_windows.cpp cli/input_files_windows.cpp cli/whole_file.cpp
  # Which files make a set, and whether a file is one: the library's one rule.
  cli/music_set_files.h cli/music_set_files.cpp
  # Loop points in frames, as the renderer counts them.
  cli/export/audio_file.h)
file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/cli/*.cpp" "${ROOT}/cli/*.h")
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
  message(FATAL_ERROR "library internals included by the command-line tool:${found}")
endif()
