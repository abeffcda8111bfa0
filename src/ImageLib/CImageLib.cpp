#include "ImageLib/CImageLib.h"

#include <cstring>

#include "Base/LogFile.h"
#include "Base/Resource.h"
#include "ImageLib/ImageReaders.h"

CImageLib::~CImageLib() {
  for (current = head; current;) {
    Entry* next = current->next;
    delete current->image;
    delete current;
    current = next;
  }
  head = tail = nullptr;
}

Image* CImageLib::LoadFromResource(uint16_t resourceNumber, const char* typeName) {
  uint32_t size = 0;
  const void* bytes = loadResource(&size, resourceNumber, typeName);
  if (!bytes) return nullptr;
  return LoadFromMem(bytes, size);
}

Image* CImageLib::LoadFromMem(const void* data, uint32_t size) {
  const auto* b = static_cast<const uint8_t*>(data);
  static const uint8_t kJpeg[4] = {0xFF, 0xD8, 0xFF, 0xE0};
  static const uint8_t kTga[8] = {0, 0, 2, 0, 0, 0, 0, 0};
  static const uint8_t kPng[4] = {0x89, 0x50, 0x4E, 0x47};
  static const uint8_t kRaw[4] = {0x0F, 0x0D, 0x0B, 0x07};
  Image* image = nullptr;
  if (size < 64) {
    logPrint("CImageLib::LoadFromMem : Reading wko file\n");
    image = ReadWKO(data, size, false);
  } else if (std::memcmp(b, kJpeg, 4) == 0 && std::memcmp(b + 6, "JFIF", 4) == 0) {
    image = nullptr;  // recognised, not decoded
  } else if (std::memcmp(b, kTga, 8) == 0) {
    image = ReadTGA(b, size);
  } else if (std::memcmp(b, kPng, 4) == 0) {
    image = nullptr;  // recognised, not decoded
  } else if (std::memcmp(b, kRaw, 4) == 0) {
    logPrint("CImageLib::LoadFromMem : Reading tav_raw file\n");
    image = ReadRaw(b, size);
  } else {
    logPrint("CImageLib::LoadFromMem : Reading wko file\n");
    image = ReadWKO(data, size, false);
  }
  insertImage(image);
  return image;
}

void CImageLib::insertImage(Image* image) {
  Entry* entry = new Entry{image, nullptr};
  if (!head) {
    logPrint("CImageLib::insertImage : inserting start image\n");
    head = tail = entry;
    return;
  }
  logPrint("CImageLib::insertImage : inserting normal image\n");
  current = tail;
  current->next = entry;
  tail = entry;
}
