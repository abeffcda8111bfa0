// Writes a few modules that exercise the loaders and the player into a folder: the fuzzers'
// seed corpus. Besides the hand-made ones, generated modules with many short looped samples
// start the fuzzer right at the mixer's loop boundaries; MOD modules of 4, 6 and 8 channels
// (FLT8's halves and Digital Tracker's layout among them), a 15-sample one and one of Ice
// Tracker's tracks carry every ProTracker effect; S3M modules of 8-
// and 16-bit, signed and unsigned, mono and stereo samples every Scream Tracker command; IT modules
// in sample mode and with instruments (both layouts), plain and compressed samples, every command,
// the whole volume column, new-note actions, the three envelopes and the MIDI macros.
#include <cstdio>
#include <string>

#include "Programs/FileBytes.h"
#include "modules/ITWriter.h"
#include "modules/MODWriter.h"
#include "modules/RandomModule.h"
#include "modules/S3MWriter.h"
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
// Every effect 0 to F and E0 to EF with varied parameters, on notes of ProTracker's octaves and
// beyond, samples swapped without notes, over short loops and one-shot samples.
MODModuleSpec modSeed(int variant) {
  static const char* const kSignatures[] = {"M.K.", "6CHN", "FLT8", "", "FA06", "IT10"};
  MODModuleSpec m;
  m.signature = kSignatures[variant];
  m.channels = variant == 1 || variant == 4 ? 6 : variant == 2 ? 8 : 4;
  m.restart = variant == 3 ? 100 : 127;
  m.orders = {0, 1, 0};
  m.patterns.resize(2);
  static const uint16_t kPeriods[] = {856, 428, 214, 113, 1712, 57, 453, 302};
  for (int p = 0; p < 2; ++p)
    for (int r = 0; r < 64; ++r) {
      const int c = (r + p) % m.channels;
      const int k = r + 64 * p + 7 * variant;
      const uint8_t effect = static_cast<uint8_t>(k % 16);
      const uint8_t parameter = static_cast<uint8_t>(effect == 0xE ? (k / 16 % 16) << 4 | k % 5 : k * 37);
      m.patterns[p].at(r, c, m.channels) = {static_cast<uint16_t>(k % 3 ? kPeriods[k % 8] : 0),
                                            static_cast<uint8_t>(k % 4 ? 1 + k % 3 : 0), effect, parameter};
    }
  m.patterns[1].at(63, 0, m.channels) = {0, 0, 0xB, 1};
  for (int i = 0; i < 3; ++i) {
    MODSampleSpec s;
    for (int k = 0; k < 64 * (i + 1); ++k) s.data.push_back(static_cast<int8_t>((k % 16 - 8) * 12));
    s.finetune = static_cast<int8_t>(m.signature.empty() ? 0 : i * 5 - 8);  // SoundTracker had none
    s.volume = static_cast<uint8_t>(20 + 20 * i);
    s.loopStart = static_cast<uint16_t>(i == 1 ? 0 : 8);
    s.loopLength = static_cast<uint16_t>(i == 1 ? 1 : 16);
    m.samples.push_back(s);
  }
  return m;
}
// Every command A to Z with varied parameters (S ones through all sub-commands), notes over the
// octaves, cuts, volumes, numbers without notes, on left, right, disabled and AdLib channels, as
// Scream Tracker 3 and Impulse Tracker save them.
S3MModuleSpec s3mSeed(int variant) {
  S3MModuleSpec m;
  m.version = variant % 2 ? 0x3216 : 0x1320;
  m.flags = static_cast<uint16_t>(variant * 16 + 8);
  m.unsignedSamples = variant < 2;
  m.masterVolume = static_cast<uint8_t>(variant == 3 ? 0x30 : 0xB0);
  m.storePans = variant % 2;
  for (int c = 0; c < 32; ++c) m.pans[c] = static_cast<uint8_t>(c % 3 ? 0x20 | c % 16 : 0);
  m.channelSettings[5] = 0x83;  // disabled
  m.channelSettings[6] = 16;    // AdLib's
  m.orders = {0, 254, 1, 255, 0};
  m.patterns.resize(2);
  for (int p = 0; p < 2; ++p)
    for (int r = 0; r < 64; ++r) {
      const int k = r + 64 * p + 11 * variant;
      const uint8_t command = static_cast<uint8_t>(1 + k % 26);
      const uint8_t parameter = static_cast<uint8_t>(command == 19 ? (k / 26 % 16) << 4 | k % 7 : k * 37);
      const int note = k % 9 == 8 ? 254 : k % 5 == 4 ? -1 : (k % 8) << 4 | k % 12;
      m.patterns[p].rows[r].push_back({static_cast<uint8_t>(k % 8), note, static_cast<uint8_t>(k % 4), k % 3 ? k % 70 : -1,
                                       command, parameter});
    }
  m.patterns[1].rows[63].push_back({0, -1, 0, -1, 2, 0});
  for (int i = 0; i < 3; ++i) {
    S3MSampleSpec s;
    s.sixteenBit = (variant + i) % 2;
    s.stereo = i == 2;
    for (int k = 0; k < 64 * (i + 1) * (s.stereo ? 2 : 1); ++k) s.data.push_back(static_cast<int16_t>((k % 16 - 8) * 2000));
    s.c2spd = static_cast<uint32_t>(8363 + 4000 * i - 3000 * variant);
    s.loop = i != 1;
    s.loopStart = 8;
    s.loopEnd = static_cast<uint32_t>(24 + 16 * i);
    s.gusAddress = static_cast<uint16_t>(variant == 2 ? 0x40 * (i + 1) : 1);
    m.samples.push_back(s);
  }
  m.samples.push_back({});
  m.samples.back().type = 2;
  return m;
}
// Variant 0 in sample mode with plain samples, 1 and 2 with instruments and samples compressed as
// Impulse Tracker 2.14 and 2.15 do (2 with the embedded macros), 3 in the layout before 2.00.
ITModuleSpec itSeed(int variant) {
  ITModuleSpec m;
  if (variant > 0) m.flags |= 4;
  if (variant == 2) m.flags |= 16 | 32 | 128;  // old effects, compatible Gxx, embedded macros
  if (variant == 3) m.createdWith = m.compatibleWith = 0x0100;
  m.embedMacros = variant == 2;
  m.macros.global[3] = "F0F000z";
  m.macros.parametered[0] = "F0F001z";
  m.macros.fixed[5] = "F0F00105";
  m.channelPan[3] = 100;     // surround
  m.channelPan[4] = 32 | 128;  // disabled
  m.orders = {0, 254, 1, 255, 0};
  m.patterns.resize(2);
  static const int kNotes[] = {60, 255, 254, 246, 0, 119};
  for (int p = 0; p < 2; ++p) {
    m.patterns[p].rows.resize(p ? 200 : 64);
    for (int r = 0; r < static_cast<int>(m.patterns[p].rows.size()); ++r) {
      const int k = r + 64 * p + 13 * variant;
      const uint8_t command = static_cast<uint8_t>(1 + k % 26);
      const uint8_t parameter = static_cast<uint8_t>(command == 19 ? (k / 26 % 16) << 4 | k % 9 : k * 37);
      const int note = k % 7 == 6 ? kNotes[k / 7 % 6] : k % 5 == 4 ? -1 : 12 + k * 5 % 96;
      m.patterns[p].rows[r].push_back({static_cast<uint8_t>(k % 6), note, k % 4 ? k % 4 : -1, k * 11 % 213, command, parameter});
    }
  }
  for (int i = 0; i < 3; ++i) {
    ITSampleSpec s;
    s.sixteenBit = (variant + i) % 2;
    s.stereo = i == 2;
    s.signedValues = variant != 0 || i != 1;
    s.compression = variant == 1 ? ITCompression::kIT214 : variant == 2 ? ITCompression::kIT215 : ITCompression::kNone;
    for (int k = 0; k < 300 * (i + 1) * (s.stereo ? 2 : 1); ++k)
      s.data.push_back(static_cast<int16_t>((k % 32 - 16) * 1500 + k * k % 700));
    s.loop = i != 1;
    s.pingPong = i == 2;
    s.loopStart = 20;
    s.loopEnd = static_cast<uint32_t>(100 + 50 * i);
    s.sustain = i == 0;
    s.sustainStart = 10;
    s.sustainEnd = 60;
    s.c5Speed = static_cast<uint32_t>(8363 + 9000 * i);
    s.vibratoDepth = static_cast<uint8_t>(4 * i);
    s.vibratoSpeed = 8;
    s.vibratoRate = 16;
    s.vibratoType = static_cast<uint8_t>(i);
    m.samples.push_back(s);
  }
  if (variant > 0)
    for (int i = 0; i < 3; ++i) {
      ITInstrumentSpec ins;
      ins.mapAll(static_cast<uint8_t>(1 + i));
      ins.keySample[70] = 0;  // an empty key
      ins.keyNote[40] = 100;
      ins.newNoteAction = static_cast<uint8_t>((i + variant) % 4);
      ins.duplicateCheck = static_cast<uint8_t>(i);
      ins.duplicateAction = static_cast<uint8_t>((i + 1) % 3);
      ins.fadeout = static_cast<uint16_t>(64 * (i + 1));
      ins.pitchPanSeparation = static_cast<int8_t>(8 * i - 8);
      ins.randomVolume = 25;
      ins.randomPan = 10;
      ins.filterCutoff = static_cast<uint8_t>(0x80 | 60);
      ins.filterResonance = static_cast<uint8_t>(0x80 | 90);
      ins.volume = {static_cast<uint8_t>(1 | 2 | 4), 1, 2, 0, 1, {{0, 64}, {10, 30}, {20, 50}, {40, 0}}};
      ins.panning = {static_cast<uint8_t>(1 | 8), 0, 0, 0, 0, {{0, -20}, {30, 20}}};
      ins.pitch = {static_cast<uint8_t>(1 | (i == 1 ? 0x80 : 0)), 0, 0, 0, 0, {{0, 0}, {15, 32}, {30, -32}}};
      m.instruments.push_back(ins);
    }
  m.message = "seed\nfor the fuzzers";
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
  for (int v = 0; v < 6; ++v) {
    const std::string path = std::string(argv[1]) + "/mod" + std::to_string(v) + ".mod";
    if (!writeFileBytes(path.c_str(), writeMOD(modSeed(v)))) {
      std::fprintf(stderr, "xmseeds: cannot write %s\n", path.c_str());
      return 2;
    }
  }
  for (int v = 0; v < 4; ++v) {
    const std::string path = std::string(argv[1]) + "/s3m" + std::to_string(v) + ".s3m";
    if (!writeFileBytes(path.c_str(), writeS3M(s3mSeed(v)))) {
      std::fprintf(stderr, "xmseeds: cannot write %s\n", path.c_str());
      return 2;
    }
  }
  for (int v = 0; v < 4; ++v) {
    const std::string path = std::string(argv[1]) + "/it" + std::to_string(v) + ".it";
    if (!writeFileBytes(path.c_str(), writeIT(itSeed(v)))) {
      std::fprintf(stderr, "xmseeds: cannot write %s\n", path.c_str());
      return 2;
    }
  }
  for (uint64_t k = 1; k <= 8; ++k)
    if (!save("random" + std::to_string(k), randomModule(k, {static_cast<int>(4 * k), k % 2 ? 256u : 4096u}))) return 2;
  return 0;
}
