// The intro's embedded assets: glyph sheet 197, backdrop layers 202 and 204, logo 193, icon 214
// and module 184, checked as the program reads them, and regenerated from their sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Base/LogFile.h"
#include "Base/Resource.h"
#include "ImageLib/CImageLib.h"
#include "Platform/virtual/VirtualWaveDevice.h"
#include "RunTool.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"
#include "SoundLib/xmplay/output/StreamLoad.h"
#include "SoundLib/xmplay/output/SoundXM.h"
#include "TempDir.h"

namespace {
const char kMonoFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
const char kSansFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

std::vector<uint8_t> resourceBytes(uint16_t number, const char* type) {
  uint32_t size = 0;
  const auto* bytes = static_cast<const uint8_t*>(loadResource(&size, number, type));
  return bytes ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>{};
}

// ---- Glyph sheet ---------------------------------------------------------------------------

class GlyphSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes = resourceBytes(197, "images");
    ASSERT_EQ(bytes.size(), 32780u);
  }
  // Pixel of cell `code` at (x, y) from the cell's top-left corner, in the stored (top first) rows.
  uint8_t at(int code, int x, int y) const {
    const int cell = code - 32;
    return bytes[12 + static_cast<size_t>((cell / 16) * 16 + y) * 256 + (cell % 16) * 16 + x];
  }
  int ink(int code) const {
    int n = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) n += at(code, x, y) != 0;
    return n;
  }
  std::vector<uint8_t> bytes;
};

TEST_F(GlyphSheet, HeaderAndOnlyTwoValues) {
  const uint8_t header[12] = {0x0F, 0x0D, 0x0B, 0x07, 0, 1, 0, 0, 128, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes.data(), header, 12), 0);
  EXPECT_TRUE(std::all_of(bytes.begin() + 12, bytes.end(), [](uint8_t v) { return v == 0 || v == 255; }));
}

TEST_F(GlyphSheet, InkInEveryPrintableCellOnlyAndNoneOnACellEdge) {
  EXPECT_EQ(ink(32), 0) << "space";
  for (int code = 33; code <= 126; ++code) EXPECT_GT(ink(code), 3) << "code " << code;
  for (int code = 127; code <= 159; ++code) EXPECT_EQ(ink(code), 0) << "code " << code;
  // The texture is filtered linearly: ink on a cell's outer ring would bleed into the next cell.
  for (int code = 32; code <= 159; ++code)
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(at(code, i, 0) | at(code, i, 15) | at(code, 0, i) | at(code, 15, i), 0)
          << "code " << code << " touches its cell's edge";
    }
}

TEST_F(GlyphSheet, CommonBaselineAndCentred) {
  auto lowestRow = [&](int code) {
    for (int y = 15; y >= 0; --y)
      for (int x = 0; x < 16; ++x)
        if (at(code, x, y)) return y;
    return -1;
  };
  // Letters and digits that sit on the baseline end on the same row; descenders go below it.
  const int baseline = lowestRow('H');
  for (char c : std::string("ABEHIKLMNTXZabcdehiklmnorstuvwxz0123456789")) EXPECT_EQ(lowestRow(c), baseline) << c;
  for (char c : std::string("gjpqy")) EXPECT_GT(lowestRow(c), baseline) << c;
  for (int code = 33; code <= 126; ++code) {
    int left = 16, right = -1;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        if (at(code, x, y)) left = std::min(left, x), right = std::max(right, x);
    EXPECT_LE(std::abs(left - (15 - right)), 1) << "code " << code << " is not centred";
  }
}

TEST_F(GlyphSheet, DecodesThroughTheRawReaderTopRowLast) {
  CImageLib lib;
  Image* image = lib.LoadFromResource(197, "images");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 256);
  EXPECT_EQ(image->height, 128);
  EXPECT_EQ(image->bitsPerPixel, 8);
  EXPECT_EQ(std::memcmp(image->pixels.get() + 127 * 256, bytes.data() + 12, 256), 0);
}

// ---- Backdrop layers -----------------------------------------------------------------------

struct Layer {
  uint16_t number;
  uint32_t tableSize;  // the size the resource table gives
};

class BackdropLayer : public ::testing::TestWithParam<Layer> {};

TEST_P(BackdropLayer, YCbCrStreamNearItsSizeDecodingTo128x128) {
  const Layer layer = GetParam();
  const std::vector<uint8_t> bytes = resourceBytes(layer.number, "images");
  EXPECT_GE(bytes.size(), layer.tableSize * 85 / 100);
  EXPECT_LE(bytes.size(), layer.tableSize * 115 / 100);
  TempDir dir;
  std::string log;
  {
    LogFile file(dir.file("log.txt").c_str());
    CImageLib lib;
    Image* image = lib.LoadFromResource(layer.number, "images");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 128);
    EXPECT_EQ(image->height, 128);
    EXPECT_EQ(image->bitsPerPixel, 24);
    log = readFile(dir.file("log.txt"));
  }
  EXPECT_NE(log.find("CImageLib::ReadWKO Width: 128 Height: 128 Channels: 3\nconverting YCbCr -> RGB\n"),
            std::string::npos)
      << log;
}

// Seamless: the last column and the first continue each other as smoothly as neighbouring
// columns inside the picture do (the mean difference across the wrap is no larger than across
// the roughest interior pair), and so do the last row and the first. A picture that does not
// repeat would differ there by several times as much. Structured, not noise: neighbours differ
// little next to how much the picture varies as a whole.
TEST_P(BackdropLayer, TilesWithoutASeamAndIsSmooth) {
  CImageLib lib;
  Image* image = lib.LoadFromResource(GetParam().number, "images");
  ASSERT_NE(image, nullptr);
  auto px = [&](int x, int y, int c) { return static_cast<double>(image->pixels[(y * 128 + x) * 3 + c]); };
  std::vector<double> columnPair(128, 0), rowPair(128, 0);  // pair i: i and i + 1, 127: the wrap
  double mean = 0, square = 0;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x)
      for (int c = 0; c < 3; ++c) {
        columnPair[x] += std::abs(px(x, y, c) - px((x + 1) % 128, y, c)) / (128 * 3);
        rowPair[y] += std::abs(px(x, y, c) - px(x, (y + 1) % 128, c)) / (128 * 3);
        mean += px(x, y, c);
        square += px(x, y, c) * px(x, y, c);
      }
  for (const std::vector<double>* pairs : {&columnPair, &rowPair}) {
    const double roughest = *std::max_element(pairs->begin(), pairs->end() - 1);
    EXPECT_LE(pairs->back(), roughest) << (pairs == &columnPair ? "columns" : "rows") << ": across the wrap "
                                       << pairs->back() << ", roughest interior pair " << roughest;
  }
  double interior = 0;
  for (int i = 0; i < 127; ++i) interior += (columnPair[i] + rowPair[i]) / 254;
  const double n = 128.0 * 128 * 3, deviation = std::sqrt(square / n - (mean / n) * (mean / n));
  EXPECT_LT(interior, deviation / 3) << "neighbours differ by " << interior << ", the picture by " << deviation;
}

INSTANTIATE_TEST_SUITE_P(Images, BackdropLayer, ::testing::Values(Layer{202, 8186}, Layer{204, 9356}),
                         [](const auto& info) { return "image" + std::to_string(info.param.number); });

TEST(BackdropLayers, OneCoolOneWarm) {
  CImageLib lib;
  Image* cool = lib.LoadFromResource(202, "images");
  Image* warm = lib.LoadFromResource(204, "images");
  ASSERT_TRUE(cool && warm);
  auto meanOf = [](const Image* image, int c) {
    double sum = 0;
    for (int i = 0; i < 128 * 128; ++i) sum += image->pixels[i * 3 + c];
    return sum / (128 * 128);
  };
  EXPECT_GT(meanOf(cool, 2), meanOf(cool, 0) + 40) << "the first layer is blue";
  EXPECT_GT(meanOf(warm, 0), meanOf(warm, 2) + 40) << "the second layer is red";
  for (const Image* image : {cool, warm}) {
    const double brightness = (meanOf(image, 0) + meanOf(image, 1) + meanOf(image, 2)) / 3;
    EXPECT_GT(brightness, 40);
    EXPECT_LT(brightness, 150) << "leaves room for the additive letters in front";
  }
}

// ---- Logo and icon -------------------------------------------------------------------------

TEST(LogoPanel, LosslessYCbCrInOneGroupDecodingTo256x32) {
  const std::vector<uint8_t> bytes = resourceBytes(193, "images");
  ASSERT_GT(bytes.size(), 3u);
  // Header bits: colour 1, no size, 3 channels, 2^8 x 2^5, one group, first-group code 14.
  const uint32_t header = static_cast<uint32_t>(bytes[0]) << 16 | bytes[1] << 8 | bytes[2];
  EXPECT_EQ(header >> 1, 0b1'0'0010'1000'0101'0000'01110u);
  CImageLib lib;
  Image* image = lib.LoadFromResource(193, "images");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 256);
  EXPECT_EQ(image->height, 32);
  EXPECT_EQ(image->bitsPerPixel, 24);
  // Drawn additively over black: the ground is black, the letters bright across the middle.
  int bright = 0;
  for (int x = 0; x < 256; ++x) {
    for (int y : {0, 31}) EXPECT_EQ(image->pixels[(y * 256 + x) * 3] | image->pixels[(y * 256 + x) * 3 + 2], 0);
    bright += image->pixels[(16 * 256 + x) * 3 + 2] > 128;
  }
  EXPECT_GT(bright, 60);
}

TEST(WindowIcon, RgbaResourceAndIcoHoldTheSameDrawing) {
  const std::vector<uint8_t> icon = resourceBytes(214, "ICONRGBA");
  ASSERT_EQ(icon.size(), 32u * 32 * 4);
  EXPECT_EQ(icon[3], 0) << "a transparent corner";
  EXPECT_EQ(icon[(16 * 32 + 16) * 4 + 3], 255) << "an opaque middle";

  const std::string ico = readFile(SOURCE_DIR "/resources/brackenfold.ico");
  ASSERT_GT(ico.size(), 38u);
  auto u8 = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(ico[at])); };
  auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  ASSERT_EQ(u16(0), 0u);
  ASSERT_EQ(u16(2), 1u) << "an icon";
  ASSERT_EQ(u16(4), 2u) << "two sizes";
  EXPECT_EQ(u8(6), 32u);
  EXPECT_EQ(u8(22), 16u);
  EXPECT_EQ(u32(6 + 12) + u32(6 + 8), u32(22 + 12)) << "the 16 x 16 follows the 32 x 32";
  EXPECT_EQ(u32(22 + 12) + u32(22 + 8), ico.size());
  // The 32 x 32 in the file is the resource's picture (BGRA, bottom row first), and the 16 x 16
  // is the same drawing: close to the mean of each 2 x 2 block of the 32 x 32.
  const size_t big = u32(6 + 12) + 40, small = u32(22 + 12) + 40;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      for (int c = 0; c < 4; ++c) {
        const int file = static_cast<int>(u8(big + ((31 - y) * 32 + x) * 4 + (c == 3 ? 3 : 2 - c)));
        ASSERT_EQ(file, icon[(y * 32 + x) * 4 + c]) << x << "," << y;
      }
  double error = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      double mean = 0;
      for (int k = 0; k < 4; ++k) mean += icon[((2 * y + k / 2) * 32 + 2 * x + k % 2) * 4 + 3] / 4.0;
      error += std::abs(mean - static_cast<double>(u8(small + ((15 - y) * 16 + x) * 4 + 3)));
    }
  EXPECT_LT(error / 256, 2.0) << "alpha of the 16 x 16 against the 32 x 32 halved";
}

// ---- Module ---------------------------------------------------------------------------------

class IntroModule : public ::testing::Test {
 protected:
  void SetUp() override {
    image = resourceBytes(184, "sound");
    ASSERT_FALSE(image.empty());
    owned = loadModule(image.data(), image.size(), &intro::kRules, nullptr);
    song = owned.get();
    ASSERT_NE(song, nullptr);
  }
  const Note& note(int pattern, int row, int channel) const {
    return song->patterns[pattern].notes[row * song->channelCount + channel];
  }
  // The output sample rate of a note index (0 = C-0) on a sample, with linear frequencies.
  static double rateOf(int index, const Sample& s) { return 8363 * std::pow(2.0, (index + s.relativeNote - 48) / 12.0); }

  std::vector<uint8_t> image;
  SongPtr owned;
  Song* song = nullptr;
};

TEST_F(IntroModule, LoadsThroughTheSoundFacade) {
  VirtualWaveDevice device;
  SoundXM sound(intro::kRules, device);
  ASSERT_TRUE(sound.init(44100, 4, 0));
  ASSERT_TRUE(sound.loadFromResource(184, "sound"));
  ASSERT_NE(sound.song, nullptr);
  EXPECT_EQ(sound.song->channelCount, 4);
  sound.close();
  releaseSong(sound.song);
}

TEST_F(IntroModule, HasTheIntrosShape) {
  EXPECT_LE(image.size(), 12u * 1024);
  EXPECT_EQ(song->channelCount, 4);
  EXPECT_EQ(song->songLength, 11);
  EXPECT_EQ(song->restartPosition, 0);
  EXPECT_EQ(song->filePatternCount, 8);
  EXPECT_EQ(song->allocatedPatternCount, 8);
  EXPECT_EQ(song->flags & 1, 1) << "linear frequencies";
  EXPECT_EQ(song->defaultSpeed, 3);
  EXPECT_EQ(song->defaultBPM, 125);
  for (int p = 0; p < 8; ++p) EXPECT_EQ(song->patterns[p].rows, 64);
  ASSERT_EQ(song->instrumentCount, 11);
  int withSample = 0, without = 0;
  for (int i = 0; i < 11; ++i) {
    const Instrument& ins = song->instruments[i];
    (ins.sampleCount == 1 ? withSample : without) += 1;
    EXPECT_LE(ins.sampleCount, 1);
    EXPECT_EQ(ins.volumeType, 0) << "no envelopes";
    EXPECT_EQ(ins.panningType, 0);
  }
  EXPECT_EQ(withSample, 7);
  EXPECT_EQ(without, 4);
}

// Walks the file as the loader does and checks what the loaded song cannot show: every sample
// is stored with 8 bits, empty instruments have 33-byte headers, and nothing follows the last
// sample.
TEST_F(IntroModule, FileHoldsEightBitSamplesAndIsConsumedWhole) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(image.at(at) | image.at(at + 1) << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  size_t at = 60 + u32(60);
  for (int p = 0; p < 8; ++p) at += 9 + u16(at + 7);
  for (int i = 0; i < 11; ++i) {
    const uint32_t headerSize = u32(at);
    const uint32_t samples = u16(at + 27);
    if (samples == 0) {
      EXPECT_EQ(headerSize, 33u);
      at += headerSize;
      continue;
    }
    at += headerSize;
    uint32_t data = 0;
    for (uint32_t s = 0; s < samples; ++s, at += 40) {
      EXPECT_EQ(image.at(at + 14) & 0x10, 0) << "instrument " << i + 1 << " has a 16-bit sample";
      data += u32(at);
    }
    at += data;
  }
  EXPECT_EQ(at, image.size());
}

TEST_F(IntroModule, UsesOnlyWhatThePlayerPlays) {
  int jumps = 0;
  for (int p = 0; p < 8; ++p)
    for (int r = 0; r < 64; ++r)
      for (int c = 0; c < 4; ++c) {
        const Note& n = note(p, r, c);
        EXPECT_TRUE(n.note == 0 || n.note == kKeyOff || n.note <= 96);
        EXPECT_LE(n.instrument, 7) << "only instruments with a sample are played";
        EXPECT_TRUE(n.volume == 0 || (n.volume >= 0x10 && n.volume <= 0x50) || n.volume >= 0x60)
            << "volume column " << int(n.volume);
        const bool known = n.effect == 0 || n.effect == 2 || n.effect == 3 || n.effect == 4 || n.effect == 0xB ||
                           n.effect == 20;
        EXPECT_TRUE(known) << "effect " << int(n.effect) << " in pattern " << p << " row " << r;
        if (n.effect == 0xB) {
          ++jumps;
          EXPECT_EQ(p, 7);
          EXPECT_EQ(r, 63);
          EXPECT_EQ(n.parameter, 2);
        }
      }
  EXPECT_EQ(jumps, 1);
  EXPECT_EQ(song->orders[10], 7);
}

TEST_F(IntroModule, OnePassIsOrdersZeroOneThenTwoToTenForEver) {
  XMPlayer player;
  configureOutput(player, 44100);
  songStart(player, *song);
  std::vector<int> starts;  // order position of every pattern start, in play order
  const int rows = (11 + 9 + 1) * 64;
  for (int tick = 0; tick < rows * 3; ++tick) {
    const bool rowTick = song->tick == 0;
    intro::tickDriver(player, *song);
    if (rowTick && song->row == 0) starts.push_back(song->orderPosition);
  }
  const std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 2, 3, 4, 5, 6, 7, 8, 9, 10, 2};
  EXPECT_EQ(starts, expected);
}

// Rendered by the player, mixed to mono: a beat (8 rows) is the longest the music may rest, and
// no sample reaches the 16-bit limits.
TEST_F(IntroModule, NeverSilentForABeatAndNeverClips) {
  std::vector<int16_t> frames;
  {
    OfflineRenderer renderer(*song, 44100);
    frames = renderer.renderOnePass();
    EXPECT_EQ(renderer.loopFrame(), int64_t{11} * 64 * 3 * 882) << "the pass ends where order 2 comes round again";
    const std::vector<int16_t> more = renderer.render(44100);  // across the loop
    frames.insert(frames.end(), more.begin(), more.end());
  }
  const int16_t loudest = *std::max_element(frames.begin(), frames.end(), [](int16_t a, int16_t b) {
    return std::abs(static_cast<int>(a)) < std::abs(static_cast<int>(b));
  });
  EXPECT_LT(std::abs(static_cast<int>(loudest)), 32767);
  EXPECT_GT(std::abs(static_cast<int>(loudest)), 8000) << "and it is not too quiet either";
  const size_t window = 441, beat = 8 * 3 * 882;  // 10 ms; 8 rows
  size_t quietRun = 0, longest = 0;
  for (size_t start = 0; start + window <= frames.size() / 2; start += window) {
    double energy = 0;
    for (size_t i = start; i < start + window; ++i) {
      const double mono = (frames[2 * i] + frames[2 * i + 1]) / 2.0;
      energy += mono * mono;
    }
    const bool quiet = std::sqrt(energy / window) < 100;  // about -50 dB below full scale
    quietRun = quiet ? quietRun + window : 0;
    longest = std::max(longest, quietRun);
  }
  EXPECT_LT(longest, beat) << "longest quiet stretch " << longest << " frames";
}

// Clicks. Each channel is rendered alone (the others' notes removed, the jump kept). Between two
// output frames a channel's sample moves by the step ratio r = sample rate / output rate, so
// with linear interpolation its signal changes by at most D x r, D being the sample's largest
// step between neighbouring values, times the channel's side level g (volume x panning, at
// most what the channel's loudest volume and its samples' panning give). Volume changes ramp
// over 128 frames, adding at most 32767 x g / 128 per frame, and a retriggered note overlaps the
// old one's fade-out, so two such terms may add: the bound is 2 x (D x r + 32767 / 128) x g,
// with r at the highest pitch the channel reaches (its notes plus its widest arpeggio plus a
// semitone of vibrato). Onsets need no exception: notes ramp up from silence. What exceeds the
// bound is a step that no note's content explains: a loop that does not join, a cut without
// a ramp.
TEST_F(IntroModule, NoStepBeyondWhatTheNotesThemselvesMake) {
  // Loops join: the step across the loop seam is no larger than the sample's largest inner step;
  // unlooped samples end at rest.
  auto largestStep = [](const Sample& s) {
    int d = 0;
    for (uint32_t i = 0; i + 1 < s.length; ++i) d = std::max(d, std::abs(s.data[i + 1] - s.data[i]));
    return d;
  };
  for (int i = 0; i < 7; ++i) {
    const Sample& s = *song->instruments[i].samples[0];
    if (s.loopMode == kLoopForward) {
      EXPECT_LE(std::abs(s.data[s.loopStart] - s.data[s.loopStart + s.loopLength - 1]), largestStep(s))
          << "instrument " << i + 1;
    } else {
      EXPECT_LE(std::abs(s.data[s.length - 1]), 256) << "instrument " << i + 1 << " ends on a step";
    }
  }
  for (int channel = 0; channel < 4; ++channel) {
    const SongPtr solo = loadModule(image.data(), image.size(), &intro::kRules, nullptr);
    ASSERT_NE(solo, nullptr);
    // The widest arpeggio and the loudest volume on this channel.
    int arpeggio = 0, loudest = 0;
    for (int p = 0; p < 8; ++p)
      for (int r = 0; r < 64; ++r) {
        const Note& n = solo->patterns[p].notes[r * 4 + channel];
        if (n.effect == 0) arpeggio = std::max({arpeggio, n.parameter >> 4, n.parameter & 15});
        if (n.volume >= 0x10 && n.volume <= 0x50) loudest = std::max(loudest, n.volume - 0x10);
        if (n.instrument) loudest = std::max<int>(loudest, solo->instruments[n.instrument - 1].samples[0]->volume);
      }
    double bound = 0;
    for (int p = 0; p < 8; ++p)
      for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 4; ++c) {
          Note& n = solo->patterns[p].notes[r * 4 + c];
          if (c != channel) {
            if (n.effect != 0xB) n = Note{};
            continue;
          }
          if (n.note == 0 || n.note == kKeyOff || n.instrument == 0) continue;
          const Sample& s = *solo->instruments[n.instrument - 1].samples[0];
          const double ratio = rateOf(n.note - 1 + arpeggio + 1, s) / 44100;
          const double mixerVolume = loudest * 127.0 / 64, side = std::max(s.panning, 255 - s.panning) / 255.0;
          const double level = mixerVolume * side / 255;
          bound = std::max(bound, 2 * (largestStep(s) * ratio + 32767.0 / 128) * level);
        }
    std::vector<int16_t> frames;
    {
      OfflineRenderer renderer(*solo, 44100);
      frames = renderer.renderOnePass();
    }
    int step = 0;
    size_t where = 0;
    for (size_t i = 2; i < frames.size(); ++i) {
      const int d = std::abs(frames[i] - frames[i - 2]);
      if (d > step) step = d, where = i / 2;
    }
    EXPECT_LT(step, bound) << "channel " << channel + 1 << " steps by " << step << " at frame " << where;
  }
}

// ---- Regeneration ---------------------------------------------------------------------------

// Every generator run again gives the committed bytes.
class Regeneration : public ::testing::Test {
 protected:
  void same(const std::string& name) {
    const std::string made = readFile(dir.file(name));
    ASSERT_FALSE(made.empty()) << name << " was not made";
    EXPECT_TRUE(made == readFile(SOURCE_DIR "/resources/" + name)) << name << " differs from the committed file";
  }
  TempDir dir;
};

TEST_F(Regeneration, TexturesAndModule) {
  ToolRun r = runTool(std::string(TEXGEN_BIN) + " " + dir.path());
  ASSERT_EQ(r.exitCode, 0) << r.output;
  same("layer202.wko");
  same("layer204.wko");
  r = runTool(std::string(XMCOMPOSE_BIN) + " " + SOURCE_DIR "/resources/music/intro.txt " + dir.file("intro.xm"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  same("intro.xm");
}

TEST_F(Regeneration, GlyphSheetLogoAndIcon) {
#ifndef FONTSHEET_BIN
  GTEST_SKIP() << "built without FreeType: fontsheet and logogen are not here (install libfreetype-dev)";
#else
  for (const char* font : {kMonoFont, kSansFont})
    if (!std::filesystem::exists(font)) GTEST_SKIP() << font << " is absent (install fonts-dejavu-core)";
  ToolRun r = runTool(std::string(FONTSHEET_BIN) + " " + kMonoFont + " " + dir.file("font197.raw"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  same("font197.raw");
  r = runTool(std::string(LOGOGEN_BIN) + " " + kSansFont + " " + dir.path());
  ASSERT_EQ(r.exitCode, 0) << r.output;
  same("logo193.wko");
  same("icon214.rgba");
  same("brackenfold.ico");
#endif
}

TEST(ScoreErrors, ReportTheLine) {
  TempDir dir;
  const std::string score = dir.file("bad.txt");
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"orders 0\npattern 0\n00 | C-4 01 .. 5A0 | ... .. .. ... | ... .. .. ... | ... .. .. ...\n",
       "bad.txt:3: effect 5 is not one the player plays"},
      {"orders 0\npattern 0\n00 | H-4 01 .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ...\n", "bad.txt:3: bad note"},
      {"orders 1\npattern 0\n", "the orders name pattern 1, which does not exist"},
      {"orders 0\npattern 0\n05 | ... .. .. ...\n", "bad.txt:3: expected '|' before channel 2"},
      {"instrument 2 \"x\" none\norders 0\npattern 0\n", "instrument 1 is missing"},
  };
  for (const Case& c : cases) {
    {
      std::FILE* f = std::fopen(score.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fputs(c.text, f);
      std::fclose(f);
    }
    const ToolRun r = runTool(std::string(XMCOMPOSE_BIN) + " " + score + " " + dir.file("out.xm"));
    EXPECT_EQ(r.exitCode, 2) << c.text;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
}
}  // namespace
