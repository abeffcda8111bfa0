#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#if defined(__linux__)
#include <sys/mman.h>
#endif

// A fixed-size array that starts out all zero, for the decoder's large sample planes. On Linux
// blocks of 256 KiB or more (where one huge page costs less than the small pages' faults) come
// straight from mmap, aligned to 2 MiB and offered to the
// kernel as transparent huge pages: the first touch of every 4 KiB page is otherwise a page fault
// (three thousand for the planes of one 1152 x 858 colour picture, about 2 microseconds each on
// the machine we measure on), and the kernel hands the pages over zeroed, so the planes need no
// clearing either.
// Elsewhere, and for small blocks, calloc.
template <class T>
class ZeroedArray {
 public:
  ZeroedArray() = default;
  explicit ZeroedArray(size_t n) : size_(n) {
    [[maybe_unused]] const size_t bytes = n * sizeof(T);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t kHuge = size_t{2} << 20;
    if (bytes >= (size_t{1} << 18)) {
      const size_t length = bytes + kHuge;
      void* block = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (block != MAP_FAILED) {
        const auto at = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
        madvise(reinterpret_cast<void*>(at), (bytes + kHuge - 1) & ~(kHuge - 1), MADV_HUGEPAGE);
        data_ = reinterpret_cast<T*>(at);
        mapped_ = block;
        mappedLength_ = length;
        return;
      }
    }
#endif
    data_ = static_cast<T*>(std::calloc(n ? n : 1, sizeof(T)));
    // Out of memory: nothing here could go on. The engine throws no exceptions, and nothing
    // would catch this one.
    if (!data_) std::abort();
  }
  ~ZeroedArray() { release(); }
  ZeroedArray(ZeroedArray&& other) noexcept { swap(other); }
  ZeroedArray& operator=(ZeroedArray&& other) noexcept {
    ZeroedArray moved(std::move(other));
    swap(moved);
    return *this;
  }
  ZeroedArray(const ZeroedArray&) = delete;
  ZeroedArray& operator=(const ZeroedArray&) = delete;

  void swap(ZeroedArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(mapped_, other.mapped_);
    std::swap(mappedLength_, other.mappedLength_);
  }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

 private:
  void release() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (mapped_) {
      munmap(mapped_, mappedLength_);
      mapped_ = nullptr;
      data_ = nullptr;
      return;
    }
#endif
    std::free(data_);
    data_ = nullptr;
  }
  T* data_ = nullptr;
  size_t size_ = 0;
  void* mapped_ = nullptr;
  size_t mappedLength_ = 0;
};
