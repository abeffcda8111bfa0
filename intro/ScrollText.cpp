#include "ScrollText.h"

#include <cstring>

namespace {
// Every line ends with a line feed and a zero byte; the block is zero behind the last, which the
// copy fills in (the program need not carry the zeros).
const char kScrollText[] =
    " Brackenfold is proud to present: Our Next Release\n\0"
    "code: vantrel gfx: Oskwith music:rbq\n\0"
    "We greet: Morvelle Quennet and many more\n\0"
    "Please don't use more than 50 signs pro line\n\0"
    "in this intro\n\0"
    "Place     spaces    between    words   to\n\0"
    "center   the     words    on   the   tex  \n\0"
    "ring\n";
}  // namespace

std::unique_ptr<char[]> scrollTextBlock() {
  static_assert(sizeof kScrollText <= kScrollTextBytes);
  auto block = std::make_unique<char[]>(kScrollTextBytes);  // all zero
  std::memcpy(block.get(), kScrollText, sizeof kScrollText);
  return block;
}

std::vector<std::unique_ptr<char[]>> splitScrollText(char* block, int size) {
  std::vector<std::unique_ptr<char[]>> lines;
  int start = 0;
  for (int i = 0; i < size && static_cast<int>(lines.size()) < kMaxScrollLines; ++i) {
    if (block[i] != '\n') continue;
    block[i] = 0;
    const int length = i - start;
    auto line = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
    std::memcpy(line.get(), block + start, static_cast<size_t>(length));
    line[length] = 0;
    lines.push_back(std::move(line));
    start = i + 2;
    i = start - 1;
  }
  return lines;
}
