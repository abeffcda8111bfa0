# The 32-bit Windows program with mingw-w64 (Debian's g++-mingw-w64-i686-win32).
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
