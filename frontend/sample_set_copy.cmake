# Puts the bundled sample set (amus.dat, amus.mda, amus.txt) beside the built
# program, so that starting it from the build folder plays the samples. The
# set is built by the target `sample_set` into TAMBELO_SAMPLE_SET_DIR; when
# that target or some of its files do not exist, whatever is there is copied
# and the rest is left out.
set(TAMBELO_SAMPLE_SET_DIR "${PROJECT_BINARY_DIR}/samples" CACHE PATH
  "Folder in which the sample set's three files are built")

add_custom_target(tambelo_program_sample_set ALL
  COMMAND ${CMAKE_COMMAND}
          -DFROM=${TAMBELO_SAMPLE_SET_DIR}
          -DTO=$<TARGET_FILE_DIR:tambelo_program>
          -P ${CMAKE_CURRENT_LIST_DIR}/copy_sample_set.cmake
  COMMENT "Placing the sample set beside the window program"
  VERBATIM)
add_dependencies(tambelo_program_sample_set tambelo_program)

# The samples directory may be added after this one: look for its target once
# every directory has been read.
function(tambelo_depend_on_sample_set)
  if(TARGET sample_set)
    add_dependencies(tambelo_program_sample_set sample_set)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tambelo_depend_on_sample_set)
