# Shared part of the mingw-w64 cross toolchains; the including file sets MINGW_TRIPLE and
# MINGW_THREADS first. MINGW_THREADS picks Debian's compiler package by its thread model:
#   win32  the programs: no C++ runtime threads, and so no POSIX threads library linked in; the
#          mixing thread is the Win32 backend's own (src/Platform/win32/Win32Thread.cpp);
#   posix  the suites that run under Wine: GoogleTest cases drive the engine from std::thread
#          and std::async, which GCC 12's win32 model lacks.
set(CMAKE_SYSTEM_NAME Windows)

# A build folder configured with the other model keeps that compiler in its cache: CMakeLists.txt
# stops then, asking for a fresh folder.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-${MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-${MINGW_THREADS})
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
# Archives of link-time-optimised objects need the compiler's plugin for their symbol index.
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-${MINGW_THREADS})
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-${MINGW_THREADS})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file that runs alone: the C++ runtime and libgcc linked in, so the program imports only
# system DLLs. No build time in the header: the same sources link to the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")

# Tests run through Wine where the build has it (only a 64-bit Wine runs on these machines).
find_program(BRACKENFOLD_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BRACKENFOLD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRACKENFOLD_WINE})
endif()

# Release programs carry no symbol table.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
