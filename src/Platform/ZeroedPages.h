#pragma once

#include <cstddef>

// Large blocks of zeroed memory straight from the system, for the image library's sample planes:
// where the system hands over pages already zeroed (and can back them with huge pages), a large
// block needs no clearing and few page faults. Each backend says whether it has such blocks.
struct ZeroedPages {
  void* data = nullptr;    // at least the bytes asked for, all zero; none: use calloc instead
  void* mapping = nullptr;  // what to give back
  size_t length = 0;
};

// A block of `bytes` zeroed bytes, or none where the platform has no such blocks for this size.
// Huge pages back the block to its end, or (wholeHugePagesOnly) only as far as whole ones fit in
// it, the rest in small pages: where the block will be filled only to its end, a last huge page
// would take memory the block never uses.
ZeroedPages allocateZeroedPages(size_t bytes, bool wholeHugePagesOnly = false);
void releaseZeroedPages(const ZeroedPages& pages);
// Asks for the pages under bytes from at (inside a block) to be there before they are written:
// one call instead of a page fault for each. Where the platform cannot, they come as written.
void prefaultZeroedPages(void* at, size_t bytes);
