# The web build with Debian's emscripten package: its own toolchain file, and the environment
# its link step needs on these machines (the JavaScript optimiser finds acorn only through
# NODE_PATH). Nothing is fetched: only the libraries the package carries are linked.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
