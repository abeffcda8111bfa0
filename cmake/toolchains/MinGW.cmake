# Shared part of the mingw-w64 cross toolchains; the including file sets MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GCC 12's win32 model has no std::thread, which the mixing thread uses.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file that runs alone: the C++ runtime, libgcc and winpthreads linked in, so the program
# imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through Wine where the build has it (only a 64-bit Wine runs on these machines).
find_program(BRACKENFOLD_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BRACKENFOLD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRACKENFOLD_WINE})
endif()

# Release programs carry no symbol table.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
