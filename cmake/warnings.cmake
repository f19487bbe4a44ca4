# Warnings every target of ours is built with; CI turns them into errors.
add_library(tambelo_warnings INTERFACE)
target_compile_options(tambelo_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  $<$<BOOL:${TAMBELO_WERROR}>:-Werror>)
