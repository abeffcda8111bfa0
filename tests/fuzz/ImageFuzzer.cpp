// libFuzzer target: any byte string through CImageLib::LoadFromMem (WKO, raw and TGA readers).
#include <cstddef>
#include <cstdint>

#include "ImageLib/CImageLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CImageLib lib;
  lib.LoadFromMem(size ? data : reinterpret_cast<const uint8_t*>(""), static_cast<uint32_t>(size));
  return 0;
}
