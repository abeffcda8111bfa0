// How loud a module plays, as the loader reads it from the header and from the mix settings
// ModPlug Tracker and OpenMPT save after the samples (openmpt123's rule, found by changing one
// thing at a time in real songs), and what the levels make of a channel's targets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "SoundLib/xmplay/formats/SavedMixSettings.h"
#include "XMTestModules.h"

namespace {
XMModuleSpec named(const std::string& tracker, const std::string& title = "title") {
  XMModuleSpec m = constantModule(4, 4);
  m.tracker = tracker;
  m.name = title;
  return m;
}

void add(std::vector<uint8_t>& bytes, const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
void add(std::vector<uint8_t>& bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A song message, one instrument property (2 bytes an instrument) and the song's channels (12),
// mix mode, pre-amp and global volume, as OpenMPT writes them after the samples.
std::vector<uint8_t> savedSettings(int instruments, uint32_t mode, uint32_t preamp, uint32_t globalVolume) {
  std::vector<uint8_t> t;
  add(t, "text");
  add(t, 5, 4);
  add(t, "hello");
  add(t, "XTPM");
  add(t, "..RV");
  add(t, 2, 2);
  add(t, 0, 2 * instruments);
  add(t, "STPM");
  add(t, "..TD");
  add(t, 4, 2);
  add(t, 125, 4);
  add(t, "...C");
  add(t, 4, 2);
  add(t, 12, 4);
  add(t, ".MMP");
  add(t, 1, 2);
  add(t, mode, 1);
  add(t, ".APS");
  add(t, 4, 2);
  add(t, preamp, 4);
  add(t, ".VGD");
  add(t, 4, 2);
  add(t, globalVolume, 4);
  return t;
}
}  // namespace

TEST(XMLevels, ByTheTrackerThatWroteTheFile) {
  struct Case {
    const char* tracker;
    const char* title;
    int headerOrders;
    MixLevels levels;
    SavedBy by = SavedBy::kOther;
  };
  const Case cases[] = {
      {"FastTracker v2.00   ", "title", 256, MixLevels::kModPlug, SavedBy::kModPlug},
      {"FastTracker v2.00   ", "title", 1, MixLevels::kLinear},  // a shortened header: not its own
      {"FastTracker v2.00   ", "title padded        ", 256, MixLevels::kConstantPower, SavedBy::kFastTracker2},
      {"FastTracker v2.00   ", "title padded        ", 1, MixLevels::kLinear},
      {"FastTracker v 2.00  ", "title", 256, MixLevels::kModPlug, SavedBy::kModPlug},
      {"MilkyTracker        ", "title", 256, MixLevels::kLinear},
      {"MilkyTracker", "title", 256, MixLevels::kConstantPower},
      {"MilkyTracker 1.04.00", "title", 256, MixLevels::kConstantPower},
      {"OpenMPT 1.31.04.00  ", "title", 1, MixLevels::kConstantPower},
      {"OpenMPT 1.22.07.19  ", "title", 1, MixLevels::kConstantPower},
      {"OpenMPT 1.22.07.18  ", "title", 1, MixLevels::kLinear},  // before its constant power
      {"OpenMPT 1.9         ", "title", 1, MixLevels::kLinear},
      {"OpenMPT 555555555555", "title", 1, MixLevels::kConstantPower},  // a number without end
      {"Fasttracker II clone", "title", 256, MixLevels::kConstantPower},
      {"Skale Tracker", "title", 256, MixLevels::kLinear},
  };
  for (const Case& c : cases) {
    XMModuleSpec m = named(c.tracker, c.title);
    m.headerOrders = c.headerOrders;
    LoadedSong loaded(m, ft2::kRules);
    ASSERT_NE(loaded.song, nullptr);
    EXPECT_EQ(loaded.song->levels, c.levels) << c.tracker << " / " << c.title << " / " << c.headerOrders;
    EXPECT_EQ(loaded.song->levelScale, 1.0f);
    EXPECT_EQ(loaded.song->savedBy, c.by) << c.tracker << " / " << c.title << " / " << c.headerOrders;
  }
}

TEST(XMLevels, SavedMixSettingsDecideOverTheTrackersName) {
  std::vector<uint8_t> image = writeXM(named("FastTracker v2.00   "));
  const std::vector<uint8_t> tail = savedSettings(1, 5, 72, 128);
  image.insert(image.end(), tail.begin(), tail.end());
  LoadedSong loaded(image, ft2::kRules);
  ASSERT_NE(loaded.song, nullptr);
  EXPECT_EQ(loaded.song->levels, MixLevels::kConstantPower) << "mode 5";
  EXPECT_FLOAT_EQ(loaded.song->levelScale, 72.0f / 48 * 128 / 256);

  const SavedMixSettings modes[] = {readSavedMixSettings(tail.data(), tail.size(), 1),
                                    readSavedMixSettings(tail.data(), tail.size() - 1, 1),
                                    readSavedMixSettings(tail.data() + 1, tail.size() - 1, 1)};
  EXPECT_EQ(modes[0].mixMode, 5);
  EXPECT_EQ(modes[0].preamp, 72);
  EXPECT_EQ(modes[0].globalVolume, 128);
  EXPECT_EQ(modes[0].channels, 12);
  EXPECT_EQ(modes[1].globalVolume, -1) << "a value cut short is not read";
  EXPECT_EQ(modes[2].mixMode, -1) << "bytes that are not the blocks are left alone";
}

// A note at full volume, centred and at the left, by the levels' pan laws and the saved scale:
// the targets at 32768 for full scale.
TEST(XMLevels, PanLawsAndTheSavedScaleInTheTargets) {
  struct Case {
    uint32_t mode, preamp;
    int32_t centre, left;
  };
  const Case cases[] = {
      {3, 48, 12288, 12288},  // full centre: 3/8 on both sides
      {4, 48, 6144, 12288},   // linear: half on each side
      {5, 48, 8689, 12288},   // constant power: 1/sqrt(2) on each side
      {4, 96, 12288, 24576},  // twice the pre-amp, twice the level
  };
  for (const Case& c : cases) {
    int32_t targets[2];
    for (int side = 0; side < 2; ++side) {
      XMModuleSpec m = named("OpenMPT 1.31.04.00  ");
      m.instruments[0].samples[0].panning = side == 0 ? 128 : 0;
      m.patterns[0].at(0, 0, m.channels) = {49, 1, 0, 0, 0};
      std::vector<uint8_t> image = writeXM(m);
      const std::vector<uint8_t> tail = savedSettings(1, c.mode, c.preamp, 256);
      image.insert(image.end(), tail.begin(), tail.end());
      LoadedSong loaded(image, ft2::kRules);
      ASSERT_NE(loaded.song, nullptr);
      XMPlayer player;
      configureOutput(player, 44100);
      songStart(player, *loaded.song);
      loaded.song->tickFunction(player, *loaded.song);
      targets[side] = ft2::state(player).channels[0].mixer->leftTarget;
    }
    EXPECT_EQ(targets[0], c.centre) << "mode " << c.mode << ", pre-amp " << c.preamp;
    EXPECT_EQ(targets[1], c.left) << "mode " << c.mode << ", pre-amp " << c.preamp;
  }
}
