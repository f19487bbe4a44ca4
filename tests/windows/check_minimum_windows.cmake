# Reads the PE headers of each program and checks that they name the oldest
# Windows the programs run on, Vista (6.0), as operating system and subsystem
# version: older systems must refuse them with a clear message.
#   cmake -DOBJDUMP=... -DFILES="a.exe;b.dll" -P check_minimum_windows.cmake
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${file} failed")
  endif()
  foreach(field MajorOSystemVersion=6 MinorOSystemVersion=0 MajorSubsystemVersion=6 MinorSubsystemVersion=0)
    string(REPLACE "=" ";" pair "${field}")
    list(GET pair 0 name)
    list(GET pair 1 expected)
    string(REGEX MATCH "${name}[ \t]+([0-9]+)" _ "${dump}")
    if(NOT CMAKE_MATCH_1 STREQUAL expected)
      message(FATAL_ERROR "${file}: ${name} is \"${CMAKE_MATCH_1}\", not ${expected}")
    endif()
  endforeach()
endforeach()
message(STATUS "all programs name Windows 6.0 as their minimum")
