// Zeroed pages where the backend has none of its own (Windows, the web): every block comes from
// calloc, which the caller does itself.
#include "Platform/ZeroedPages.h"

ZeroedPages allocateZeroedPages(size_t, bool) { return {}; }
void releaseZeroedPages(const ZeroedPages&) {}
void prefaultZeroedPages(void*, size_t) {}
