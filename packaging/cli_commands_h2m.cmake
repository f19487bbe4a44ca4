# cmake -DCLI=PATH -DOUT=FILE -P cli_commands_h2m.cmake: writes a help2man
# include file with a COMMANDS section holding each command's own --help,
# so that the man page lists every command's options.
set(commands list play export pack import dump trace ports)
set(text "[COMMANDS]\n")
foreach(command ${commands})
  execute_process(COMMAND ${CLI} ${command} --help
    OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} ${command} --help failed: ${status}")
  endif()
  # The usage lines name the tool as the user calls it, not the build's path.
  string(REPLACE "${CLI}" "tambelo-cli" help "${help}")
  # Literal text for roff: backslashes escaped, no line read as a request.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUT} "${text}")
