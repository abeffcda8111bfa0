# The 64-bit Windows program with mingw-w64 (Debian's g++-mingw-w64-x86-64-win32).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
