#pragma once

#include <cstdint>

// Error codes reported for a lookup that fails, as the Windows resource calls give them.
constexpr int kErrorResourceTypeNotFound = 1813;
constexpr int kErrorResourceNameNotFound = 1814;

// Read-only bytes of one of the program's resources, found by number and type name (any case).
// Never copied: the same request returns the same address. On a miss, logs the error, returns
// null and leaves size untouched.
const void* loadResource(uint32_t* size, uint16_t number, const char* type);

void reportWin32Error();
