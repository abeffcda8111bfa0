#include "SoundLib/xmplay/engine/SampleStore.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "Platform/ZeroedPages.h"

// The blocks: a chain, the newest first.
struct SampleStore {
  struct Block {
    Block* next;
    ZeroedPages pages;  // or, where the system gave none, `heap`
    void* heap;
    uint8_t* at;
    size_t left;
  };
  Block* blocks = nullptr;
  size_t expected = 0;
};

namespace {
// Below this a sample takes its room from the heap: a huge page for it alone would cost more.
constexpr size_t kSmallest = size_t{1} << 18;
constexpr size_t kAlign = 64;

SampleStore::Block* newBlock(SampleStore& store, size_t bytes) {
  auto* block = new (std::nothrow) SampleStore::Block{};
  if (!block) return nullptr;
  block->pages = allocateZeroedPages(bytes, true);
  void* memory = block->pages.data;
  if (!memory) memory = block->heap = std::malloc(bytes);
  if (!memory) {
    delete block;
    return nullptr;
  }
  block->at = static_cast<uint8_t*>(memory);
  block->left = bytes;
  block->next = store.blocks;
  store.blocks = block;
  return block;
}
}  // namespace

void expectSampleBytes(Song& song, size_t bytes) {
  if (!song.sampleStore) song.sampleStore = new (std::nothrow) SampleStore{};
  if (song.sampleStore) song.sampleStore->expected = bytes;
}

int16_t* allocateSampleValues(Song& song, size_t values) {
  const size_t bytes = (values * sizeof(int16_t) + kAlign - 1) & ~(kAlign - 1);
  if (!song.sampleStore) song.sampleStore = new (std::nothrow) SampleStore{};
  SampleStore* store = song.sampleStore;
  if (!store) return nullptr;
  SampleStore::Block* block = store->blocks;
  if (!block || block->left < bytes) {
    // A new block of what is still expected (at least this sample); small songs' samples alone.
    const size_t size = std::max(bytes, store->expected);
    block = newBlock(*store, size >= kSmallest ? size : bytes);
    if (!block) return nullptr;
    store->expected = 0;
  }
  auto* data = reinterpret_cast<int16_t*>(block->at);
  // The sample is written whole at once: its pages come in one call rather than fault by fault.
  if (block->pages.data) prefaultZeroedPages(data, bytes);
  block->at += bytes;
  block->left -= bytes;
  return data;
}

void freeSampleStore(Song& song) {
  SampleStore* store = song.sampleStore;
  if (!store) return;
  for (SampleStore::Block* b = store->blocks; b;) {
    SampleStore::Block* next = b->next;
    if (b->heap) std::free(b->heap);
    releaseZeroedPages(b->pages);
    delete b;
    b = next;
  }
  delete store;
  song.sampleStore = nullptr;
}
