# The same Windows build for 64-bit x86, for checking the Windows code on
# machines whose kernel cannot run 32-bit programs (and so cannot run wine32).
# What ships is the 32-bit build of mingw-w64-i686.cmake: the library's
# callers are 32-bit programs.
set(TAMBELO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
