# The 64-bit suites that run under Wine, with mingw-w64's posix thread model (Debian's
# g++-mingw-w64-x86-64-posix): see MinGW.cmake.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
