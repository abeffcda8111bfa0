// bfplay: its ring of blocks on a virtual device (the position shown is the played block's, a
// skip is heard after the blocks the device may hold, one pass ends where the orders come back),
// its keys and status line through a virtual terminal, the terminal's key decoding, and the
// program itself on SDL's disk and dummy audio drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "players/LivePlayer.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "Platform/sdl/TerminalKeys.h"
#include "Platform/virtual/VirtualTerminal.h"
#include "Platform/virtual/VirtualWaveDevice.h"
#include "players/ModuleFacts.h"
#include "players/PlayerConsole.h"
#include "RunTool.h"
#include "TempDir.h"
#include "XMTestModules.h"

namespace {
constexpr int64_t kBlock = 884;  // frames at 44100 Hz
constexpr int64_t kRow = 2646;   // 3 ticks of 882 frames (125 BPM)
constexpr int64_t kPass = 24 * kRow;

// Orders 0, 1, 2 of patterns 0, 1, 0, eight rows each at speed 3. Pattern 0 is silent; pattern 1
// starts a looped constant note on its first row, which sounds on to the end of the pass.
XMModuleSpec threeOrders() {
  XMModuleSpec m = constantModule(1, 8, 1000);
  m.speed = 3;
  m.patterns.resize(2);
  m.patterns[1].rows = 8;
  m.patterns[1].at(0, 0, 1) = {49, 1, 0, 0, 0};
  m.orders = {0, 1, 0};
  return m;
}

// Loaded as bfplay loads by default: by the FastTracker 2 rules.
struct FT2Song {
  explicit FT2Song(const XMModuleSpec& m)
      : image(writeXM(m)), owned(loadModule(image.data(), image.size(), &ft2::kRules, nullptr)), song(owned.get()) {}
  std::vector<uint8_t> image;
  SongPtr owned;
  Song* song;
};

class LivePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(loaded.song, nullptr);
    ASSERT_TRUE(device.open(44100));
    player = std::make_unique<LivePlayer>(*loaded.song, device, 44100, loop);
    player->start();
  }
  // The device has played up to frame; the player catches up.
  bool playTo(int64_t frame) {
    device.position = static_cast<uint32_t>(frame * 4);
    return player->update();
  }
  // Plays on in steps shorter than a block, as a device polled every few milliseconds does.
  bool playThrough(int64_t from, int64_t to) {
    for (int64_t f = from; f < to; f += 800)
      if (!playTo(f)) return false;
    return playTo(to);
  }
  std::vector<int16_t> block(int64_t n) const {
    const int16_t* at = player->ring() + (n % LivePlayer::kRingBlocks) * kBlock * 2;
    return {at, at + kBlock * 2};
  }
  static bool silent(const std::vector<int16_t>& frames) {
    return std::all_of(frames.begin(), frames.end(), [](int16_t v) { return v == 0; });
  }

  bool loop = false;
  FT2Song loaded{threeOrders()};
  VirtualWaveDevice device;
  std::unique_ptr<LivePlayer> player;
};

class LoopingLivePlayerTest : public LivePlayerTest {
 protected:
  void SetUp() override {
    loop = true;
    LivePlayerTest::SetUp();
  }
};

void expectPosition(const SongPosition& p, int order, int pattern, int row) {
  EXPECT_EQ(p.order, order);
  EXPECT_EQ(p.pattern, pattern);
  EXPECT_EQ(p.row, row);
  EXPECT_EQ(p.songLength, 3);
  EXPECT_EQ(p.rows, 8);
  EXPECT_EQ(p.speed, 3);
  EXPECT_EQ(p.bpm, 125);
}
}  // namespace

TEST_F(LivePlayerTest, PlaysARingOfEightBlocksFromOrderZero) {
  EXPECT_EQ(device.starts, 1);
  EXPECT_EQ(device.buffer, player->ring());
  EXPECT_EQ(device.bytes, 8u * kBlock * 4);
  expectPosition(player->heard(), 0, 0, 0);
}

// Each block shows where the song was at its end: block n ends at frame (n + 1) x 884 - 1.
TEST_F(LivePlayerTest, ShowsThePositionOfTheBlockPlayingNotOfTheLastRendered) {
  ASSERT_TRUE(playThrough(0, 5 * kBlock + 10));
  expectPosition(player->heard(), 0, 0, 2);  // 5303 / 2646
  ASSERT_TRUE(playThrough(5 * kBlock + 10, 23 * kBlock));
  expectPosition(player->heard(), 1, 1, 0);  // 21215 / 2646 = row 8, the first of order 1
  // The song itself is seven blocks further on: 27403 / 2646 = row 10.
  EXPECT_EQ(loaded.song->orderPosition, 1);
  EXPECT_EQ(loaded.song->row, 2);
  EXPECT_EQ(player->heardFrames(), 23 * kBlock);

  // The ring holds blocks 23 to 30 as the offline renderer renders them.
  FT2Song copy(threeOrders());
  OfflineRenderer reference(*copy.song, 44100);
  const std::vector<int16_t> frames = reference.render(31 * kBlock);
  for (int64_t n = 23; n <= 30; ++n)
    EXPECT_TRUE(block(n) == std::vector<int16_t>(frames.begin() + n * kBlock * 2, frames.begin() + (n + 1) * kBlock * 2))
        << "block " << n;
}

TEST_F(LivePlayerTest, SkipIsHeardAfterTheBlocksTheDeviceMayHold) {
  ASSERT_TRUE(playThrough(0, 2 * kBlock + 100));
  ASSERT_TRUE(silent(block(5)));
  player->skip(1);
  // Blocks 3 and 4 stay order 0's silence; from block 5 on order 1's note sounds.
  EXPECT_TRUE(silent(block(3)));
  EXPECT_TRUE(silent(block(4)));
  EXPECT_FALSE(silent(block(6)));
  ASSERT_TRUE(playTo(4 * kBlock));
  expectPosition(player->heard(), 0, 0, 1);
  ASSERT_TRUE(playTo(5 * kBlock));
  expectPosition(player->heard(), 1, 1, 0);

  player->skip(-1);
  ASSERT_TRUE(playTo(8 * kBlock));
  expectPosition(player->heard(), 0, 0, 0);
  // Back from the first order starts it again.
  player->skip(-5);
  ASSERT_TRUE(playThrough(8 * kBlock, 11 * kBlock));
  expectPosition(player->heard(), 0, 0, 0);
}

// Presses quicker than the blocks the device holds add up: each goes on from where the last
// one went, not from the order still heard.
TEST_F(LivePlayerTest, QuickSkipsAddUp) {
  ASSERT_TRUE(playTo(kBlock));
  player->skip(1);
  player->skip(1);
  ASSERT_TRUE(playThrough(kBlock, 5 * kBlock));
  expectPosition(player->heard(), 2, 0, 0);
  player->skip(-1);
  player->skip(-1);
  player->skip(1);
  ASSERT_TRUE(playThrough(5 * kBlock, 9 * kBlock));
  expectPosition(player->heard(), 1, 1, 0);
}

// A skip to the last order plays it to where the song comes round, and ends there. Blocks 0 to 3
// are kept; the renderer, at the end of block 8 (frame 7956, 18 frames into its tenth tick),
// starts order 2 at its next tick, 864 frames into block 4, and plays its 8 rows.
TEST_F(LivePlayerTest, SkipsStayInsideOnePass) {
  ASSERT_TRUE(playTo(kBlock));
  player->skip(2);
  const int64_t end = 4 * kBlock + 864 + 8 * kRow;
  ASSERT_TRUE(playThrough(kBlock, end - 100));
  expectPosition(player->heard(), 2, 0, 7);
  EXPECT_TRUE(playThrough(end - 100, end + 8 * kBlock - 1));
  EXPECT_EQ(player->heardFrames(), end);
  EXPECT_FALSE(playTo(end + 8 * kBlock));
}

// Past the last order: the two blocks after the one playing stay (order 1's note), then silence.
TEST_F(LivePlayerTest, SkipPastTheLastOrderEndsTheSong) {
  ASSERT_TRUE(playThrough(0, 30 * kBlock));
  player->skip(2);
  EXPECT_FALSE(silent(block(32)));
  for (int n = 33; n < 38; ++n) EXPECT_TRUE(silent(block(n))) << n;
  EXPECT_TRUE(playThrough(30 * kBlock, 41 * kBlock - 1));
  EXPECT_EQ(player->heardFrames(), 33 * kBlock);
  EXPECT_FALSE(playTo(41 * kBlock));
}

// 24 rows: the pass ends in block 71 (62764 to 63647), 740 frames in; silence follows.
TEST_F(LivePlayerTest, OnePassEndsWhereTheOrdersComeBack) {
  ASSERT_TRUE(playThrough(0, 71 * kBlock));
  const std::vector<int16_t> last = block(71);
  EXPECT_FALSE(silent({last.begin() + 700 * 2, last.begin() + 740 * 2}));
  EXPECT_TRUE(silent({last.begin() + 740 * 2, last.end()}));
  EXPECT_TRUE(silent(block(72)));
  // A ring of silence more lets the device's own buffers play out.
  EXPECT_TRUE(playThrough(72 * kBlock, kPass + 8 * kBlock - 1));
  EXPECT_EQ(player->heardFrames(), kPass);
  EXPECT_FALSE(playTo(kPass + 8 * kBlock));
  EXPECT_FALSE(playTo(kPass + 9 * kBlock));
}

TEST_F(LoopingLivePlayerTest, LoopPlaysOnWhereTheOrdersComeBack) {
  ASSERT_TRUE(playThrough(0, 71 * kBlock));
  EXPECT_FALSE(silent(block(71)));
  EXPECT_TRUE(playThrough(71 * kBlock, kPass + 2 * kBlock));
  expectPosition(player->heard(), 0, 0, 0);
}

// Back to the first order is the song's start: its own tempo (125), not the one it had reached
// (F80 on order 1 made it 128).
TEST(LivePlayerRestart, StartsAgainAtTheSongsOwnTempo) {
  XMModuleSpec m = threeOrders();
  m.patterns[1].at(0, 0, 1).effect = 0xF;
  m.patterns[1].at(0, 0, 1).parameter = 0x80;
  FT2Song loaded(m);
  VirtualWaveDevice device;
  ASSERT_TRUE(device.open(44100));
  LivePlayer player(*loaded.song, device, 44100, false);
  player.start();
  auto playTo = [&](int64_t frame) {
    device.position = static_cast<uint32_t>(frame * 4);
    return player.update();
  };
  for (int64_t f = 0; f <= 25 * kBlock; f += 800) ASSERT_TRUE(playTo(f));
  ASSERT_EQ(player.heard().order, 1);
  EXPECT_EQ(player.heard().bpm, 128);
  player.skip(-1);
  for (int64_t f = 25 * kBlock; f <= 29 * kBlock; f += 800) ASSERT_TRUE(playTo(f));
  EXPECT_EQ(player.heard().order, 0);
  EXPECT_EQ(player.heard().bpm, 125);
}

// The gain scales what is rendered from then on; nothing clips at twice the level.
TEST_F(LivePlayerTest, GainScalesTheBlocksRenderedAfterIt) {
  FT2Song copy(threeOrders());
  OfflineRenderer reference(*copy.song, 44100);
  const std::vector<int16_t> frames = reference.render(40 * kBlock);
  player->setGain(2);
  ASSERT_TRUE(playThrough(0, 30 * kBlock));
  for (int64_t n = 30; n < 37; ++n) {
    const std::vector<int16_t> b = block(n);
    for (int64_t i = 0; i < kBlock * 2; i += 37)
      EXPECT_NEAR(b[i], 2 * frames[n * kBlock * 2 + i], 1) << "block " << n << " at " << i;
  }
  EXPECT_GT(std::abs(block(30)[1000]), 2000) << "order 1's note sounds there, twice as loud";
  EXPECT_EQ(player->clipped(), 0u);
  player->setGain(1000);
  ASSERT_TRUE(playThrough(30 * kBlock, 32 * kBlock));
  EXPECT_GT(player->clipped(), 0u);
}

// --start: the song is played unheard up to the frame asked, and heard from there as a plain
// render has it; the place counts from there.
TEST(LivePlayerStart, StartsOnTheFrameAsked) {
  FT2Song loaded(threeOrders());
  VirtualWaveDevice device;
  ASSERT_TRUE(device.open(44100));
  LivePlayer player(*loaded.song, device, 44100, false);
  EXPECT_TRUE(player.skipTo(30 * kBlock + 400));
  player.start();
  EXPECT_EQ(player.heardFrames(), 30 * kBlock + 400);
  FT2Song copy(threeOrders());
  OfflineRenderer reference(*copy.song, 44100);
  const std::vector<int16_t> frames = reference.render(38 * kBlock + 400);
  EXPECT_TRUE(std::equal(frames.begin() + (30 * kBlock + 400) * 2, frames.end(), player.ring()));
  EXPECT_EQ(player.heard().order, 1);
  device.position = static_cast<uint32_t>(kBlock * 4);
  ASSERT_TRUE(player.update());
  EXPECT_EQ(player.heardFrames(), 31 * kBlock + 400);
}

// Seeks land on the frame asked, a ring's kept blocks later, as a render from the start has it:
// on from the renderer's course, back from a state kept on the way (every four seconds); a
// skip to an order goes to its place in the pass. Orders 0 to 2 of 64 rows at speed 31 (27342
// frames a row): two minutes.
TEST(LivePlayerSeek, LandsOnTheFrameAskedAndTheOrdersPlace) {
  XMModuleSpec m = threeOrders();
  m.speed = 31;
  for (auto& p : m.patterns) p.rows = 64;
  // A loop of a prime length with no pattern of its own: frames from elsewhere differ.
  XMSampleSpec& sample = m.instruments[0].samples[0];
  sample.data.resize(20011);
  for (size_t i = 0; i < sample.data.size(); ++i) sample.data[i] = static_cast<int16_t>((i * i * 7919 % 2001) - 1000);
  sample.loopLength = 20011;
  FT2Song loaded(m);
  VirtualWaveDevice device;
  ASSERT_TRUE(device.open(44100));
  LivePlayer player(*loaded.song, device, 44100, false, ~uint64_t{0}, PassMap::of(*loaded.song, 44100));
  player.start();
  FT2Song copy(m);
  OfflineRenderer reference(*copy.song, 44100);
  const std::vector<int16_t> frames = reference.render(int64_t{100} * 44100);
  int64_t at = 0;
  // After the seek the device plays the block it was in and kKeptBlocks more, then the place.
  auto seekAndCheck = [&](int64_t by, int64_t expected) {
    player.seek(by);
    const int64_t landed = (at / kBlock + 1 + LivePlayer::kKeptBlocks) * kBlock;
    for (; at < landed + 100; at += 800) {
      device.position = static_cast<uint32_t>(at * 4);
      ASSERT_TRUE(player.update());
    }
    at = landed + 100;
    device.position = static_cast<uint32_t>(at * 4);
    ASSERT_TRUE(player.update());
    EXPECT_EQ(player.heardFrames(), expected + 100);
    const int16_t* block = player.ring() + (landed / kBlock % LivePlayer::kRingBlocks) * kBlock * 2;
    EXPECT_TRUE(std::equal(block, block + kBlock * 2, frames.begin() + expected * 2)) << "seek by " << by;
  };
  seekAndCheck(60 * 44100, 60 * 44100);
  seekAndCheck(-50 * 44100, 10 * 44100 + 100);
  seekAndCheck(-20 * 44100, 0);
  // Order 1 starts at row 64; the renderer goes there at its next tick.
  player.skip(1);
  for (int64_t end = at + 8 * kBlock; at < end; at += 800) {
    device.position = static_cast<uint32_t>(at * 4);
    ASSERT_TRUE(player.update());
  }
  EXPECT_EQ(player.heard().order, 1);
  EXPECT_NEAR(static_cast<double>(player.heardFrames()), 64.0 * 27342 + 4 * kBlock, 882);
  // On past the end: the song ends after the blocks kept.
  player.seek(200 * 44100);
  for (int64_t end = at + 16 * kBlock; at < end; at += 800) {
    device.position = static_cast<uint32_t>(at * 4);
    player.update();
  }
  EXPECT_FALSE(player.update());
}

// The table of samples for I: a row each, as stored, under a heading that counts the slots.
TEST(BfplaySamples, TableSaysHowEachSampleIsStored) {
  XMModuleSpec m = threeOrders();
  m.instruments[0].samples.push_back({});  // an empty slot, left out
  m.instruments[0].samples[0].name = "organ";
  m.instruments[0].samples[0].finetune = -16;
  m.instruments[0].samples[0].relativeNote = 12;
  FT2Song loaded(m);
  const std::vector<std::string> rows = sampleTable(*loaded.song);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "Samples (1 of 2 slots, the empty left out)");
  EXPECT_EQ(rows[2], "  1.0   organ                     20000 forward 0+20000          8   64  -16, +12");
}

struct StatusCase {
  SongPosition position;
  int64_t frames;
  bool paused;
  SongFacts facts;
  int width;
  const char* line;
};

class StatusLineTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusLineTest, Formats) {
  const StatusCase& c = GetParam();
  EXPECT_EQ(statusLine(c.position, c.frames, 44100, c.paused, c.facts, c.width), c.line);
}

const SongFacts kFourChannels{4, 0xFFFFFFFF, 180 * 44100, {}};

INSTANTIATE_TEST_SUITE_P(
    Bfplay, StatusLineTest,
    ::testing::Values(
        StatusCase{{3, 12, 5, 17, 64, 6, 125, 0b0101}, 1874250, false, kFourChannels, 80,
                   "Ord 03/12 Pat 05 Row 17/64 Spd 6 BPM 125 00:42/03:00 |#.#.|"},
        StatusCase{{3, 12, 5, 17, 64, 6, 125, 0b0101}, 1874250, true, kFourChannels, 80,
                   "Ord 03/12 Pat 05 Row 17/64 Spd 6 BPM 125 00:42/03:00 |#.#.| paused"},
        StatusCase{{112, 200, 255, 255, 256, 31, 255}, int64_t{3725} * 44100 + 44099, false, {}, 80,
                   "Ord 112/200 Pat 255 Row 255/256 Spd 31 BPM 255 62:05"},
        // Channels 3 and 4 muted (--channels 1,2,5,6): a space each.
        StatusCase{{0, 1, 0, 0, 64, 6, 125, 0b010101}, 0, false, {6, 0b110011, 44100, {}}, 80,
                   "Ord 00/01 Pat 00 Row 00/64 Spd 6 BPM 125 00:00/00:01 |#.  #.|"},
        // Never as wide as the terminal (a line that wraps cannot be rewritten): the bar goes
        // first, then speed and BPM, pattern, row and the length; the order, time and pause stay.
        StatusCase{{3, 12, 5, 17, 64, 6, 125, 0b0101}, 1874250, false, kFourChannels, 40,
                   "Ord 03/12 Pat 05 Row 17/64 00:42/03:00"},
        StatusCase{{3, 12, 5, 17, 64, 6, 125, 0b0101}, 1874250, true, kFourChannels, 24, "Ord 03/12 00:42 paused"},
        StatusCase{{3, 12, 5, 17, 64, 6, 125, 0b0101}, 1874250, false, kFourChannels, 8, "Ord 03/"},
        // One pass, then a pattern loop that never ends: a + after the length.
        StatusCase{{0, 1, 0, 3, 5, 6, 125, 0b1}, 22050, false, {1, 0xFFFFFFFF, 44100, {}, true}, 80,
                   "Ord 00/01 Pat 00 Row 03/05 Spd 6 BPM 125 00:00/00:01+ |#|"}));

class PlayerConsoleTest : public LivePlayerTest {
 protected:
  void SetUp() override {
    LivePlayerTest::SetUp();
    terminal.catchInterruptions();
  }
  std::unique_ptr<PlayerConsole> console() {
    return std::make_unique<PlayerConsole>(*player, terminal, [this](std::string_view text) { written += text; });
  }
  VirtualTerminal terminal;
  std::string written;
};

TEST_F(PlayerConsoleTest, SpacePausesAndResumesAndTheLineSaysSo) {
  auto c = console();
  ASSERT_TRUE(c->step());
  EXPECT_EQ(written, "\rOrd 00/03 Pat 00 Row 00/08 Spd 3 BPM 125 00:00");
  written.clear();
  terminal.keys = {' '};
  ASSERT_TRUE(c->step());
  EXPECT_TRUE(device.paused);
  EXPECT_EQ(written, "\rOrd 00/03 Pat 00 Row 00/08 Spd 3 BPM 125 00:00 paused");
  written.clear();
  terminal.keys = {' '};
  ASSERT_TRUE(c->step());
  EXPECT_FALSE(device.paused);
  EXPECT_EQ(device.pauses, 1);
  EXPECT_EQ(device.resumes, 1);
  // The shorter line covers the longer one's end.
  EXPECT_EQ(written, "\rOrd 00/03 Pat 00 Row 00/08 Spd 3 BPM 125 00:00       ");
  written.clear();
  ASSERT_TRUE(c->step());
  EXPECT_EQ(written, "") << "an unchanged line is not written again";
}

TEST_F(PlayerConsoleTest, ArrowsSkipAnOrderFromTheOneHeard) {
  auto c = console();
  terminal.keys = {kKeyRight};
  ASSERT_TRUE(c->step());
  device.position = 3 * kBlock * 4;
  ASSERT_TRUE(c->step());
  EXPECT_EQ(c->status(), "Ord 01/03 Pat 01 Row 00/08 Spd 3 BPM 125 00:00");
  terminal.keys = {kKeyLeft, 'x', kKeyUnknown};
  ASSERT_TRUE(c->step());
  device.position = 6 * kBlock * 4;
  ASSERT_TRUE(c->step());
  EXPECT_EQ(c->status(), "Ord 00/03 Pat 00 Row 00/08 Spd 3 BPM 125 00:00");
  EXPECT_FALSE(player->paused());
}

TEST(BfplayHeader, SaysWhatTheSongIsInLinesThatFit) {
  const SongFacts facts{5, 0b01101, 5400 * 44100 + 44099, {"lead", ""}};
  EXPECT_EQ(headerText("in.xm", "Title", "", "XM 1.04, FastTracker 2 rules", facts, 3, 2, false, 44100, 80, true),
            "Module      in.xm\n"
            "Title       Title\n"
            "Tracker     (not named), XM 1.04, FastTracker 2 rules\n"
            "Channels    5, playing 1,3-4\n"
            "Orders      3, patterns 2, instruments 2\n"
            "Length      90:01 one pass\n"
            "Keys        h or ? the keys, n / p next / previous file, q quit\n");
  const std::string narrow = headerText("in.xm", "Title", "MilkyTracker", "XM 1.04, FastTracker 2 rules", facts, 3, 2,
                                        true, 44100, 30, false);
  EXPECT_NE(narrow.find("Tracker     MilkyTracker, XM \n"), std::string::npos) << narrow;
  EXPECT_NE(narrow.find("Length      90:01 a pass, the\n"), std::string::npos) << narrow;
  // A length to the nearest second (7.99 s is 0:08), the time played in whole seconds.
  const SongFacts short8{1, 1, 7 * 44100 + 43659, {}};
  EXPECT_EQ(statusLine({0, 1, 0, 0, 64, 6, 125, 0}, 7 * 44100 + 43659, 44100, false, short8, 80),
            "Ord 00/01 Pat 00 Row 00/64 Spd 6 BPM 125 00:07/00:08 |.|");
}

// h and i print above the status line, which comes back under them.
TEST_F(PlayerConsoleTest, KeysAndInstrumentsPrintAboveTheLine) {
  auto c = std::make_unique<PlayerConsole>(*player, terminal, [this](std::string_view text) { written += text; },
                                           SongFacts{1, 0xFFFFFFFF, kPass, {"by someone", "", "greets"}});
  ASSERT_TRUE(c->step());
  const std::string line = "Ord 00/03 Pat 00 Row 00/08 Spd 3 BPM 125 00:00/00:01 |.|";
  EXPECT_EQ(written, "\r" + line);
  written.clear();
  terminal.keys = {'i', '?'};
  ASSERT_TRUE(c->step());
  EXPECT_EQ(written, "\r" + std::string(line.size(), ' ') + "\rInstruments\n  01 by someone\n  02 \n  03 greets\n" +
                         keysText() + "\r" + line);
  EXPECT_EQ(keysText().rfind("Keys\n", 0), 0u);
  EXPECT_NE(keysText().find("  i              the instrument names\n"), std::string::npos);
}

// After Ctrl-Z and fg the shell has written over the screen: the line is drawn again whole, even
// unchanged; n and p end the file for the list's next or previous one.
TEST_F(PlayerConsoleTest, ContinuedAfterAStopDrawsTheLineAgainAndNAndPMoveOn) {
  auto c = console();
  ASSERT_TRUE(c->step());
  written.clear();
  ASSERT_TRUE(c->step());
  EXPECT_EQ(written, "");
  terminal.continued = true;
  ASSERT_TRUE(c->step());
  EXPECT_EQ(written, "\rOrd 00/03 Pat 00 Row 00/08 Spd 3 BPM 125 00:00");
  for (const auto& [key, end] : {std::pair{'n', PlayerConsole::End::kNextFile}, std::pair{'p', PlayerConsole::End::kPreviousFile}}) {
    auto d = console();
    terminal.keys = {key};
    EXPECT_FALSE(d->step());
    EXPECT_EQ(d->end(), end) << key;
  }
}

class QuitKeyTest : public PlayerConsoleTest, public ::testing::WithParamInterface<int> {};

TEST_P(QuitKeyTest, Quits) {
  auto c = console();
  terminal.keys = {GetParam(), ' '};
  EXPECT_FALSE(c->step());
  EXPECT_EQ(c->end(), PlayerConsole::End::kQuit);
  EXPECT_FALSE(player->paused()) << "keys after the quit are not acted on";
  c->finish();
  EXPECT_EQ(written, "") << "nothing shown, no line to end";
}

INSTANTIATE_TEST_SUITE_P(Bfplay, QuitKeyTest, ::testing::Values('q', 'Q', kKeyEscape));

TEST_F(PlayerConsoleTest, InterruptionEnds) {
  auto c = console();
  ASSERT_TRUE(c->step());
  terminal.signal = SIGINT;
  EXPECT_FALSE(c->step());
  EXPECT_EQ(c->end(), PlayerConsole::End::kInterrupted);
  c->finish();
  EXPECT_EQ(written.back(), '\n');
}

TEST_F(PlayerConsoleTest, WithoutATerminalNoKeysNoLineAndItEndsAfterThePass) {
  terminal.input = false;
  auto c = console();
  terminal.keys = {'q', ' '};
  int64_t frame = 0;
  while (c->step()) {
    ASSERT_LT(frame, kPass + 9 * kBlock) << "still playing after the pass";
    frame += 800;
    device.position = static_cast<uint32_t>(std::min(frame, kPass + 8 * kBlock) * 4);
  }
  EXPECT_EQ(c->end(), PlayerConsole::End::kPlayed);
  EXPECT_EQ(terminal.keys.size(), 2u);
  EXPECT_FALSE(device.paused);
  c->finish();
  EXPECT_EQ(written, "");
}

struct KeyBytes {
  const char* bytes;
  int key;
  size_t used;
};

class TerminalKeysTest : public ::testing::TestWithParam<KeyBytes> {};

TEST_P(TerminalKeysTest, Decodes) {
  const KeyBytes& k = GetParam();
  const std::string bytes = k.bytes;
  size_t used = 0;
  EXPECT_EQ(decodeTerminalKey(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), used), k.key);
  EXPECT_EQ(used, k.used);
}

INSTANTIATE_TEST_SUITE_P(Bfplay, TerminalKeysTest,
                         ::testing::Values(KeyBytes{"q", 'q', 1}, KeyBytes{" x", ' ', 1}, KeyBytes{"\x1b", kKeyEscape, 1},
                                           KeyBytes{"\x1bq", kKeyEscape, 1}, KeyBytes{"\x1b[C", kKeyRight, 3},
                                           KeyBytes{"\x1b[Dq", kKeyLeft, 3}, KeyBytes{"\x1bOC", kKeyRight, 3},
                                           KeyBytes{"\x1b[A", kKeyUp, 3}, KeyBytes{"\x1b[1;5C", kKeyRight, 6},
                                           KeyBytes{"\x1b[3~", kKeyUnknown, 4}, KeyBytes{"\x1b[1;", kKeyUnknown, 4}));

// The program on SDL's audio drivers, stdin not a terminal.
namespace {
ToolRun bfplay(const std::string& environment, const std::string& args) {
  return runTool(environment + " timeout 60 " + BFPLAY_BIN + " " + args + " </dev/null");
}

void save(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}
}  // namespace

// SDL's disk driver writes what the device takes, at the pace of a sound card: silence while the
// program gets ready, one pass of the song as the offline renderer renders it, then silence until
// the program has closed the device.
TEST(BfplayProgram, PlaysOnePassOnTheDiskDeviceAndEnds) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(threeOrders()));
  const ToolRun r = bfplay("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + dir.file("out.raw"), dir.file("in.xm"));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output.find("\rOrd "), std::string::npos) << "no status line without a terminal: " << r.output;
  EXPECT_NE(r.output.find("Channels    1\n"), std::string::npos) << "the header: " << r.output;
  EXPECT_EQ(r.output.find("Keys"), std::string::npos) << "no keys are read without a terminal: " << r.output;
  const std::string raw = readFile(dir.file("out.raw"));
  std::vector<int16_t> played(raw.size() / 2);
  std::memcpy(played.data(), raw.data(), played.size() * 2);
  FT2Song copy(threeOrders());
  OfflineRenderer reference(*copy.song, 44100);
  const std::vector<int16_t> pass = reference.renderOnePass();
  ASSERT_EQ(pass.size(), static_cast<size_t>(kPass) * 2);
  // The song's first half is silent too: line the two up at the first sound.
  auto sound = [](const std::vector<int16_t>& v) {
    return std::find_if(v.begin(), v.end(), [](int16_t x) { return x != 0; }) - v.begin();
  };
  const int64_t start = sound(played) - sound(pass);
  ASSERT_GE(start, 0);
  ASSERT_LE(start + kPass * 2, static_cast<int64_t>(played.size()));
  EXPECT_TRUE(std::equal(pass.begin(), pass.end(), played.begin() + start));
  EXPECT_TRUE(std::all_of(played.begin() + start + kPass * 2, played.end(), [](int16_t v) { return v == 0; }));
  EXPECT_LT(played.size() - start, static_cast<size_t>(kPass + 44100) * 2) << "played on a second past the pass";
}

TEST(BfplayProgram, FailuresAreOneLineAndCodeTwo) {
  TempDir dir;
  save(dir.file("in.xm"), writeXM(threeOrders()));
  save(dir.file("bad.xm"), {'n', 'o', 't', ' ', 'x', 'm'});
  // No device: the sound system's reason, and the way to hear the module without one.
  const ToolRun noDevice = bfplay("SDL_AUDIODRIVER=nonexistent", dir.file("in.xm"));
  EXPECT_EQ(noDevice.exitCode, 2);
  EXPECT_EQ(noDevice.output, "bfplay: no sound device could be opened (Audio target 'nonexistent' not available); "
                             "bfrender " + dir.file("in.xm") + " OUT.wav renders it to a file instead\n");
  // ALSA without a device (its configuration empty) prints its own failure, unless kept quiet.
  save(dir.file("asound.conf"), {});
  const ToolRun noAlsa = bfplay("SDL_AUDIODRIVER=alsa ALSA_CONFIG_PATH=" + dir.file("asound.conf"), dir.file("in.xm"));
  EXPECT_EQ(noAlsa.output.rfind("bfplay: no sound device could be opened (ALSA: ", 0), 0u) << noAlsa.output;
  EXPECT_EQ(std::count(noAlsa.output.begin(), noAlsa.output.end(), '\n'), 1) << noAlsa.output;
  const std::vector<uint8_t> whole = writeXM(threeOrders());
  save(dir.file("cut.xm"), std::vector<uint8_t>(whole.begin(), whole.begin() + 400));  // in the instrument
  for (const std::string& args : {dir.file("bad.xm"), dir.file("missing.xm"), dir.file("in.xm") + " --rules ft3",
                                  dir.file("in.xm") + " --bogus",
                                  dir.file("in.xm") + " --channels 0", dir.file("in.xm") + " --channels 2",
                                  "--gain=49 " + dir.file("in.xm"), dir.file("in.xm") + " --loop=1",
                                  dir.file("cut.xm")}) {
    const ToolRun r = bfplay("SDL_AUDIODRIVER=dummy", args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << args << ": " << r.output;
    EXPECT_EQ(r.output.rfind("bfplay: ", 0), 0u) << r.output;
  }
}

// A list plays in turn; a file it cannot play is named, once, and the others still played.
TEST(BfplayProgram, PlaysAListAndNamesWhatItCannotPlay) {
  TempDir dir;
  save(dir.file("a.xm"), writeXM(threeOrders()));
  save(dir.file("bad.xm"), {'n', 'o', 't', ' ', 'x', 'm'});
  const ToolRun r = bfplay("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + dir.file("out.raw"),
                           dir.file("a.xm") + " " + dir.file("bad.xm") + " " + dir.file("a.xm"));
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_NE(r.output.find("Module      a.xm (1 of 3)\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Module      a.xm (3 of 3)\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("(2 of 3)"), std::string::npos) << r.output;
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2 * 6 + 1) << "two headers and one refusal: " << r.output;
  EXPECT_NE(r.output.find("bfplay: " + dir.file("bad.xm") + ": not a module this player can play"), std::string::npos);
  // Both passes reached the device: order 1's note sounds twice, with silence between.
  const std::string raw = readFile(dir.file("out.raw"));
  std::vector<int16_t> played(raw.size() / 2);
  std::memcpy(played.data(), raw.data(), played.size() * 2);
  int runs = 0;
  bool sounding = false;
  for (size_t i = 0; i < played.size(); i += 2) {
    const bool now = played[i] != 0;
    runs += now && !sounding;
    sounding = now;
  }
  EXPECT_EQ(runs, 2);
}

// The digits mute and unmute channels, s solos the last one toggled (again: all back), ! unmutes
// all; + and - move the gain, ] and [ the separation, l the loop; the line says what changed.
TEST_F(PlayerConsoleTest, KeysMuteSoloGainSeparationAndLoop) {
  auto c = std::make_unique<PlayerConsole>(*player, terminal, [this](std::string_view text) { written += text; },
                                           SongFacts{3, 0b111, kPass, {}});
  const auto after = [&](std::deque<int> keys) {
    terminal.keys = std::move(keys);
    EXPECT_TRUE(c->step());
    const std::string& line = c->status();
    return line.substr(line.find('|'));
  };
  terminal.columns = 120;
  EXPECT_EQ(after({'2'}), "|. .|");
  EXPECT_EQ(after({'2', 's'}), "| . |") << "channel 2 back, then alone";
  EXPECT_EQ(after({'s'}), "|...|") << "solo again: all back";
  EXPECT_EQ(after({'1', '3', '9', '0'}), "| . |") << "channels the song lacks are left alone";
  EXPECT_EQ(after({'!'}), "|...|");
  EXPECT_EQ(after({'+', '+', '+', '-', ']', 'l'}), "|...| Gain +2dB Sep 60% loop");
  EXPECT_TRUE(player->looping());
  EXPECT_EQ(after({'[', '[', 'l', '-', '-'}), "|...| Sep 40%");
  EXPECT_FALSE(player->looping());
}
