#include <gtest/gtest.h>

#include <vector>

#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "XMTestModules.h"

// Effects checked against other effects: two one-channel modules that write the same music two
// ways must give the mixer the same pitch and the same levels on every tick. How long a change
// ramps is left out (a set volume is heard at once, a slide across its tick).
namespace {
struct Heard {
  int32_t left, right;
  uint32_t step, fraction;
  bool sounding;
  uint32_t position;
  bool operator==(const Heard&) const = default;
};

std::vector<Heard> hear(const XMModuleSpec& design) {
  LoadedSong loaded(design, ft2::kRules);
  EXPECT_NE(loaded.song, nullptr);
  if (!loaded.song) return {};
  Song& song = *loaded.song;
  XMPlayer player;
  configureOutput(player, 44100);
  songStart(player, song);
  std::vector<Heard> heard;
  const int ticks = design.patterns[0].rows * design.speed;
  for (int t = 0; t < ticks; ++t) {
    song.tickFunction(player, song);
    const MixerChannel& m = *ft2::state(player).channels[0].mixer;
    heard.push_back({m.leftTarget, m.rightTarget, m.step, m.stepFraction, m.sample != nullptr, m.position});
  }
  return heard;
}

// One channel of a constant sample at speed 2 or more, the rows given.
XMModuleSpec rows(std::vector<XMNote> notes, int speed = 4) {
  XMModuleSpec m = constantModule(1, static_cast<int>(notes.size()));
  m.speed = static_cast<uint16_t>(speed);
  m.patterns[0].notes = std::move(notes);
  return m;
}

XMModuleSpec withSample(XMModuleSpec m, uint8_t volume, int8_t finetune = 0) {
  m.instruments[0].samples[0].volume = volume;
  m.instruments[0].samples[0].finetune = finetune;
  return m;
}

void expectAlike(const XMModuleSpec& a, const XMModuleSpec& b) {
  const std::vector<Heard> x = hear(a), y = hear(b);
  ASSERT_EQ(x.size(), y.size());
  for (size_t t = 0; t < x.size(); ++t) {
    if (x[t] == y[t]) continue;
    ADD_FAILURE() << "tick " << t << ": levels " << x[t].left << "/" << x[t].right << " against " << y[t].left << "/"
                  << y[t].right << ", step " << x[t].step << "+" << x[t].fraction << " against " << y[t].step << "+"
                  << y[t].fraction << ", position " << x[t].position << " against " << y[t].position;
    return;
  }
}

constexpr uint8_t kC4 = 49;
}  // namespace

TEST(FT2RulesAlike, VolumeColumnSlidesAreAxy) {
  expectAlike(withSample(rows({{kC4, 1}, {0, 0, 0, 0xA, 0x04}, {0, 0, 0, 0xA, 0x04}, {0, 0, 0, 0xA, 0x30},
                               {0, 0, 0, 0xA, 0x00}}),
                         48),
              withSample(rows({{kC4, 1}, {0, 0, 0x64}, {0, 0, 0x64}, {0, 0, 0x73}, {0, 0, 0x73}}), 48));
}

TEST(FT2RulesAlike, TonePortamentoVolumeSlideIsTheColumnsPortamentoBesideAxy) {
  expectAlike(rows({{kC4, 1}, {53, 0, 0, 0x3, 0x20}, {0, 0, 0, 0x5, 0x03}, {0, 0, 0, 0x5, 0x03}}),
              rows({{kC4, 1}, {53, 0, 0xF2}, {0, 0, 0xF0, 0xA, 0x03}, {0, 0, 0xF0, 0xA, 0x03}}));
}

TEST(FT2RulesAlike, FineVolumeSlidesAreTheLevelsSetRowByRow) {
  expectAlike(withSample(rows({{kC4, 1}, {0, 0, 0, 0xE, 0xA2}, {0, 0, 0, 0xE, 0xA2}, {0, 0, 0, 0xE, 0xB4},
                               {0, 0, 0, 0xE, 0xB0}, {0, 0, 0, 0xE, 0xA0}}),
                         32),
              withSample(rows({{kC4, 1}, {0, 0, 0x10 + 34}, {0, 0, 0x10 + 36}, {0, 0, 0x10 + 32}, {0, 0, 0x10 + 28},
                               {0, 0, 0x10 + 30}}),
                         32));
}

// Far from its target a tone portamento slides as 1xx and 2xx do, speed for speed.
TEST(FT2RulesAlike, PortamentosAreTonePortamentosTowardsAFarNote) {
  expectAlike(rows({{kC4, 1}, {0, 0, 0, 0x1, 0x08}, {0, 0, 0, 0x1, 0x00}, {0, 0, 0, 0x1, 0x0C}}),
              rows({{kC4, 1}, {85, 0, 0, 0x3, 0x08}, {0, 0, 0, 0x3, 0x00}, {0, 0, 0, 0x3, 0x0C}}));
  expectAlike(rows({{kC4, 1}, {0, 0, 0, 0x2, 0x08}, {0, 0, 0, 0x2, 0x00}, {0, 0, 0, 0x2, 0x0C}}),
              rows({{kC4, 1}, {13, 0, 0, 0x3, 0x08}, {0, 0, 0, 0x3, 0x00}, {0, 0, 0, 0x3, 0x0C}}));
}

TEST(FT2RulesAlike, VibratoIsTheColumnsVibrato) {
  expectAlike(rows({{kC4, 1}, {0, 0, 0, 0x4, 0x48}, {0, 0, 0, 0x4, 0x48}, {0, 0, 0, 0x4, 0x00}, {0, 0, 0, 0x4, 0x00}}),
              rows({{kC4, 1, 0xA4}, {0, 0, 0xB8}, {0, 0, 0xB8}, {0, 0, 0xB0}, {0, 0, 0xB0}}));
}

TEST(FT2RulesAlike, PanningEffectsAreTheColumnsPanning) {
  expectAlike(rows({{kC4, 1}, {0, 0, 0, 0x8, 0x40}, {0, 0, 0, 0x8, 0xC0}}), rows({{kC4, 1}, {0, 0, 0xC4}, {0, 0, 0xCC}}));
  expectAlike(rows({{kC4, 1}, {0, 0, 0, effect::kPanningSlide, 0x30}, {0, 0, 0, effect::kPanningSlide, 0x02},
                    {0, 0, 0, effect::kPanningSlide, 0x00}}),
              rows({{kC4, 1}, {0, 0, 0xE3}, {0, 0, 0xD2}, {0, 0, 0xD2}}));
}

// A fine portamento moves four times as far as an extra fine one of the same value; both keep
// their own memory.
TEST(FT2RulesAlike, FinePortamentosAreExtraFineOnesTimesFour) {
  expectAlike(rows({{kC4, 1}, {0, 0, 0, 0xE, 0x11}, {0, 0, 0, 0xE, 0x10}, {0, 0, 0, 0xE, 0x22}, {0, 0, 0, 0xE, 0x20}}),
              rows({{kC4, 1}, {0, 0, 0, effect::kExtraFine, 0x14}, {0, 0, 0, effect::kExtraFine, 0x10},
                    {0, 0, 0, effect::kExtraFine, 0x28}, {0, 0, 0, effect::kExtraFine, 0x20}}));
}

// Without a volume envelope a key off silences at once, as a note cut does, on the tick asked.
TEST(FT2RulesAlike, NoteCutIsAKeyOffWithoutEnvelope) {
  expectAlike(rows({{kC4, 1}, {0, 0, 0, 0xE, 0xC2}, {kC4, 1}, {0, 0, 0, 0xE, 0xC3}}),
              rows({{kC4, 1}, {0, 0, 0, effect::kKeyOff, 0x02}, {kC4, 1}, {0, 0, 0, effect::kKeyOff, 0x03}}));
}

TEST(FT2RulesAlike, SetFinetuneIsTheSamplesFinetune) {
  expectAlike(rows({{kC4, 1, 0, 0xE, 0x5C}, {}, {kC4, 1, 0, 0xE, 0x5C}}),
              withSample(rows({{kC4, 1}, {}, {kC4, 1}}), 64, 64));
}

TEST(FT2RulesAlike, GlobalVolumeScalesAsTheChannelsVolume) {
  expectAlike(rows({{kC4, 1, 0, effect::kSetGlobalVolume, 0x20}, {}}), withSample(rows({{kC4, 1}, {}}), 32));
  expectAlike(rows({{kC4, 1}, {0, 0, 0, effect::kGlobalVolumeSlide, 0x02}, {0, 0, 0, effect::kGlobalVolumeSlide, 0x00},
                    {0, 0, 0, effect::kGlobalVolumeSlide, 0x10}}),
              rows({{kC4, 1}, {0, 0, 0, 0xA, 0x02}, {0, 0, 0, 0xA, 0x00}, {0, 0, 0, 0xA, 0x10}}));
}

// From the centre, a panning envelope at 48 (16 above its middle) pans half way to the right.
TEST(FT2RulesAlike, PanningEnvelopeIsAPanning) {
  XMModuleSpec enveloped = rows({{kC4, 1}, {}, {}});
  enveloped.instruments[0].panningEnvelope = {{{0, 48}, {20, 48}}, 0, 0, 0, 1};
  expectAlike(enveloped, rows({{kC4, 1, 0, 0x8, 0xC0}, {}, {}}));
}

// Lxx on the note's row starts its envelope 32 ticks in: the envelope from 0 to 64 then plays as
// one that starts at 32.
TEST(FT2RulesAlike, EnvelopePositionIsALaterStart) {
  XMModuleSpec moved = rows({{kC4, 1, 0, effect::kEnvelopePosition, 32}, {}, {}});
  moved.instruments[0].volumeEnvelope = {{{0, 0}, {64, 64}}, 0, 0, 0, 1};
  XMModuleSpec later = rows({{kC4, 1}, {}, {}});
  later.instruments[0].volumeEnvelope = {{{0, 32}, {32, 64}}, 0, 0, 0, 1};
  expectAlike(moved, later);
}

// A square auto-vibrato of depth 4 at rate 128 takes the pitch 4 periods down and up on
// alternate ticks, starting down: what extra fine slides of 4, 8, 8 do at speed 1.
TEST(FT2RulesAlike, SquareAutoVibratoIsExtraFineSlides) {
  XMModuleSpec vibrating = rows({{kC4, 1}, {}, {}, {}}, 1);
  vibrating.instruments[0].vibratoType = 1;
  vibrating.instruments[0].vibratoDepth = 4;
  vibrating.instruments[0].vibratoRate = 128;
  expectAlike(vibrating, rows({{kC4, 1, 0, effect::kExtraFine, 0x24}, {0, 0, 0, effect::kExtraFine, 0x18},
                               {0, 0, 0, effect::kExtraFine, 0x28}, {0, 0, 0, effect::kExtraFine, 0x18}},
                              1));
}

// E4x and E7x choose the waves: a ramp vibrato of depth 8 and speed 8 bends by 16 periods more
// on each row of its first half cycle (at speed 2), as fine slides of 16 do; a square tremolo of
// depth 4 and speed 8 adds 15 to the volume for half a cycle, then takes 15 off.
TEST(FT2RulesAlike, WaveformsOfVibratoAndTremolo) {
  expectAlike(rows({{kC4, 1, 0, 0xE, 0x41}, {0, 0, 0, 0x4, 0x88}, {0, 0, 0, 0x4, 0x88}, {0, 0, 0, 0x4, 0x88},
                    {0, 0, 0, 0x4, 0x88}},
                   2),
              rows({{kC4, 1}, {}, {0, 0, 0, 0xE, 0x24}, {0, 0, 0, 0xE, 0x24}, {0, 0, 0, 0xE, 0x24}}, 2));
  std::vector<XMNote> tremolo = {{kC4, 1, 0, 0xE, 0x72}}, levels = {{kC4, 1}};
  for (int row = 0; row < 8; ++row) {
    tremolo.push_back({0, 0, 0, 0x7, 0x84});
    levels.push_back({0, 0, static_cast<uint8_t>(0x10 + (row < 4 ? 47 : 17))});
  }
  expectAlike(withSample(rows(tremolo, 2), 32), withSample(rows(levels, 2), 32));
}
