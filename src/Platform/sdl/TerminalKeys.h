#pragma once

#include <cstddef>

// Decodes the first key in bytes read from a terminal: a character, or an escape sequence
// (ESC [ ... final or ESC O final) for the arrows and other keys, or Escape alone where no
// sequence follows. Sets used to the bytes it took (at least 1; size must be at least 1).
int decodeTerminalKey(const unsigned char* bytes, size_t size, size_t& used);
