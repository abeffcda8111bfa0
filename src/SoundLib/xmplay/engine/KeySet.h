#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A set of 64-bit keys that are hashes already (their low bits as good as random), held in one
// flat table: inserting allocates only when the table doubles, and a copy is one block of
// memory. Open addressing with linear probing, at most half full; 0 is kept apart, as the mark of
// an empty slot.
class KeySet {
 public:
  // True where the key is new.
  bool insert(uint64_t key) {
    if (key == 0) {
      const bool fresh = !hasZero_;
      hasZero_ = true;
      return fresh;
    }
    if (2 * (count_ + 1) > slots_.size()) grow();
    const size_t mask = slots_.size() - 1;
    for (size_t i = key & mask;; i = (i + 1) & mask) {
      if (slots_[i] == key) return false;
      if (slots_[i] == 0) {
        slots_[i] = key;
        ++count_;
        return true;
      }
    }
  }
  void clear() {
    slots_.assign(slots_.size(), 0);
    count_ = 0;
    hasZero_ = false;
  }
  size_t size() const { return count_ + hasZero_; }

 private:
  void grow() {
    std::vector<uint64_t> old(slots_.empty() ? 64 : 2 * slots_.size(), 0);
    old.swap(slots_);
    count_ = 0;
    for (uint64_t key : old)
      if (key) insert(key);
  }

  std::vector<uint64_t> slots_;
  size_t count_ = 0;
  bool hasZero_ = false;
};
