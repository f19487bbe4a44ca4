# Included by each view after it has created `tambelo_program`: the program
# loads the library from its own folder and plays the music set lying beside
# it, so both are put there after each build. The library goes there under
# its plain file name, as in a portable folder.
add_dependencies(tambelo_program tambelo)
add_custom_command(TARGET tambelo_program POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:tambelo>
          $<TARGET_FILE_DIR:tambelo_program>/$<IF:$<BOOL:${WIN32}>,$<TARGET_FILE_NAME:tambelo>,libtambelo.so>
  VERBATIM)
include(${CMAKE_CURRENT_LIST_DIR}/sample_set_copy.cmake)
