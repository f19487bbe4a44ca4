# Sanitizer builds: the whole tree is compiled and linked with the same flags,
# so that the core, the tools and the tests agree on the runtime.
if(TAMBELO_SANITIZE)
  set(_flags -fsanitize=${TAMBELO_SANITIZE} -fno-omit-frame-pointer -g)
  if(TAMBELO_SANITIZE MATCHES "undefined")
    list(APPEND _flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_flags})
  add_link_options(-fsanitize=${TAMBELO_SANITIZE})
endif()
