#include "SoundLib/xmplay/formats/MODPackers.h"

#include <cstring>
#include <iterator>

namespace {
struct PackerMark {
  const char* name;
  size_t at;
  const char* mark;
  size_t length;
};

// Each mark where its packer writes it: AC1D Packer's two bytes at offset 2, the others' ids at
// the start or where ProTracker keeps its signature. They are looked for only once the image is
// no MOD of any layout, so a title that starts as one of them is still read as a title.
const PackerMark kMarks[] = {
    {"AC1D Packer", 2, "\xAC\x1D", 2},
    {"ProRunner 2", 0, "SNT!", 4},
    {"Slamtilt", 0, "STIM", 4},
    {"Hornet Packer", 1080, "HRT!", 4},
    {"PowerPacker", 0, "PP20", 4},
};
}  // namespace

const char* modPackerOf(const uint8_t* data, size_t size) {
  if (!data) return nullptr;
  for (const PackerMark& m : kMarks)
    if (size >= m.at + m.length && std::memcmp(data + m.at, m.mark, m.length) == 0) return m.name;
  return nullptr;
}
