#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "Platform/ZeroedPages.h"

// A fixed-size array that starts out all zero, for the decoder's large sample planes: from the
// platform's zeroed pages where it has them for the size (see ZeroedPages.h), else from calloc.
template <class T>
class ZeroedArray {
 public:
  ZeroedArray() = default;
  explicit ZeroedArray(size_t n) : size_(n) {
    pages_ = allocateZeroedPages(n * sizeof(T));
    if (pages_.data) {
      data_ = static_cast<T*>(pages_.data);
      return;
    }
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
    std::swap(pages_, other.pages_);
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
    if (pages_.data)
      releaseZeroedPages(pages_);
    else
      std::free(data_);
    pages_ = {};
    data_ = nullptr;
  }
  T* data_ = nullptr;
  size_t size_ = 0;
  ZeroedPages pages_;
};
