# Cross-compiling for 32-bit Windows with Debian's mingw-w64 compilers.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The posix thread model is required: the unsuffixed compilers use the win32
# model, which has no std::thread or std::mutex. The runtime is linked
# statically so that no mingw DLL has to travel with the programs, and Wine
# runs the cross-built programs (tests included) on the build machine.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT TAMBELO_MINGW_TRIPLE)
  set(TAMBELO_MINGW_TRIPLE i686-w64-mingw32)
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
set(CMAKE_C_COMPILER ${TAMBELO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMBELO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMBELO_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TAMBELO_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMBELO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(TAMBELO_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(TAMBELO_WINE NAMES wine64 PATHS /usr/lib/wine)
else()
  find_program(TAMBELO_WINE NAMES wine)
endif()
if(TAMBELO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAMBELO_WINE})
endif()
