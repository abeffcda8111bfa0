#pragma once

#include <cstdint>

#include "ImageLib/Image.h"

// Decodes images held in memory by recognising their first bytes, and keeps every image it
// decoded until it is destroyed.
class CImageLib {
 public:
  struct Entry {
    Image* image;
    Entry* next;
  };

  CImageLib() = default;
  virtual ~CImageLib();
  CImageLib(const CImageLib&) = delete;
  CImageLib& operator=(const CImageLib&) = delete;

  Image* LoadFromResource(uint16_t resourceNumber, const char* typeName);
  Image* LoadFromMem(const void* data, uint32_t size);
  void insertImage(Image* image);

  Entry* current = nullptr;
  Entry* head = nullptr;
  Entry* tail = nullptr;
};
