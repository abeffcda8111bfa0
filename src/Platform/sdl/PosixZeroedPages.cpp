// Zeroed pages on Linux: blocks of 256 KiB or more (where one huge page costs less than the small
// pages' faults) come straight from mmap, aligned to 2 MiB and offered to the kernel as
// transparent huge pages. The first touch of every 4 KiB page is otherwise a page fault (three
// thousand for the planes of one 1152 x 858 colour picture, about 2 microseconds each on the
// machine we measure on), and the kernel hands the pages over zeroed. Smaller blocks, and
// systems without huge pages, are left to calloc.
#include <sys/mman.h>

#include <cstdint>

#include "Platform/ZeroedPages.h"

ZeroedPages allocateZeroedPages([[maybe_unused]] size_t bytes, [[maybe_unused]] bool wholeHugePagesOnly) {
#if defined(MADV_HUGEPAGE)
  constexpr size_t kHuge = size_t{2} << 20;
  if (bytes < (size_t{1} << 18)) return {};
  const size_t length = bytes + kHuge;
  void* block = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return {};
  const auto at = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
  const size_t huge = wholeHugePagesOnly ? bytes & ~(kHuge - 1) : (bytes + kHuge - 1) & ~(kHuge - 1);
  if (huge) madvise(reinterpret_cast<void*>(at), huge, MADV_HUGEPAGE);
  return {reinterpret_cast<void*>(at), block, length};
#else
  return {};
#endif
}

void releaseZeroedPages(const ZeroedPages& pages) {
  if (pages.mapping) munmap(pages.mapping, pages.length);
}

// Linux 5.14 on; an older kernel refuses the request, and the pages fault in as they are written.
void prefaultZeroedPages([[maybe_unused]] void* at, [[maybe_unused]] size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
  constexpr uintptr_t kPage = 4096;
  const uintptr_t first = reinterpret_cast<uintptr_t>(at) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(at) + bytes + kPage - 1) & ~(kPage - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#endif
}
