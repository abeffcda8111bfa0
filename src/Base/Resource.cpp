#include "Base/Resource.h"

#include "Base/LogFile.h"
#include "Base/ResourceTable.h"

namespace {
int lastError = 0;

bool sameTypeName(const char* a, const char* b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (; *a && *b; ++a, ++b)
    if (lower(*a) != lower(*b)) return false;
  return *a == *b;
}
}  // namespace

void reportWin32Error() { logPrint("Win32 Api Error Nr.: %d\n", lastError); }

const void* loadResource(uint32_t* size, uint16_t number, const char* type) {
  bool typeSeen = false;
  for (unsigned i = 0; type && i < kResourceCount; ++i) {
    const ResourceEntry& entry = kResourceTable[i];
    if (!sameTypeName(entry.type, type)) continue;
    typeSeen = true;
    if (entry.number != number) continue;
    *size = entry.size;
    return entry.bytes;
  }
  lastError = typeSeen ? kErrorResourceNameNotFound : kErrorResourceTypeNotFound;
  reportWin32Error();
  return nullptr;
}
