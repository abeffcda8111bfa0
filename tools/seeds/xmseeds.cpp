// Writes a few modules that exercise the loader and the player into a folder: the fuzzers'
// seed corpus. Besides the hand-made ones, generated modules with many short looped samples
// start the fuzzer right at the mixer's loop boundaries.
#include <cstdio>
#include <string>

#include "common/FileBytes.h"
#include "modules/RandomModule.h"
#include "modules/XMWriter.h"

namespace {
XMModuleSpec seedModule(int variant) {
  XMModuleSpec m;
  m.channels = 2 + variant;
  m.speed = static_cast<uint16_t>(3 + variant);
  m.orders = {0, 1, 0};
  m.patterns.resize(2);
  m.patterns[0].rows = 16;
  m.patterns[1].rows = 8;
  const uint8_t effects[] = {0x0, 0x2, 0x3, 0x4, 0xB, 20};
  for (int r = 0; r < 16; ++r) {
    XMNote& n = m.patterns[0].at(r, r % m.channels, m.channels);
    n = {static_cast<uint8_t>(r % 5 == 4 ? 97 : 30 + r * 2), static_cast<uint8_t>(1 + r % 2),
         static_cast<uint8_t>(r % 3 ? 0x10 + r * 3 : 0x61), effects[r % 6], static_cast<uint8_t>(r * 17)};
  }
  m.patterns[1].at(7, 0, m.channels) = {0, 0, 0, 0xB, 1};
  for (int i = 0; i < 2; ++i) {
    XMInstrumentSpec ins;
    XMSampleSpec s;
    s.sixteenBit = (variant + i) % 2;
    for (int k = 0; k < 64; ++k) s.data.push_back(static_cast<int16_t>((k % 16 - 8) * (s.sixteenBit ? 2000 : 12)));
    s.loopType = static_cast<uint8_t>(1 + (variant + i) % 3);
    s.loopStart = 8;
    s.loopLength = 40;
    ins.samples.push_back(s);
    ins.vibratoType = static_cast<uint8_t>(variant % 4);
    ins.vibratoDepth = 8;
    ins.vibratoRate = 30;
    ins.vibratoSweep = 4;
    ins.fadeout = 256;
    m.instruments.push_back(ins);
  }
  return m;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xmseeds DIR\n");
    return 2;
  }
  auto save = [&](const std::string& name, const XMModuleSpec& module) {
    const std::string path = std::string(argv[1]) + "/" + name + ".xm";
    if (writeFileBytes(path.c_str(), writeXM(module))) return true;
    std::fprintf(stderr, "xmseeds: cannot write %s\n", path.c_str());
    return false;
  };
  for (int v = 0; v < 4; ++v)
    if (!save("seed" + std::to_string(v), seedModule(v))) return 2;
  for (uint64_t k = 1; k <= 8; ++k)
    if (!save("random" + std::to_string(k), randomModule(k, {static_cast<int>(4 * k), k % 2 ? 256u : 4096u}))) return 2;
  return 0;
}
