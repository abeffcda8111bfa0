#include "SoundLib/xmplay/output/SoundXM.h"

#include <gtest/gtest.h>

#include "Base/LogFile.h"
#include "Platform/virtual/VirtualWaveDevice.h"
#include "SoundLib/xmplay/output/WaveOutput.h"
#include "SoundLib/xmplay/output/StreamLoad.h"
#include "TempDir.h"
#include "XMTestModules.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"
#include "SoundLib/xmplay/rules/intro/IntroRules.h"

TEST(SoundXM, InitOpensA44100DeviceWithMemoryStreams) {
  VirtualWaveDevice device;
  SoundXM sound(ft2::kRules, device);
  EXPECT_EQ(sound.fileMode, 0);
  EXPECT_EQ(sound.song, nullptr);
  EXPECT_TRUE(sound.init(44100, 4, 0));
  EXPECT_EQ(device.openedRate, 44100);
  EXPECT_EQ(streamCallbacks().open, kMemoryStreamCallbacks.open);
  EXPECT_EQ(xmPlayer().blockLength, 884);
  EXPECT_EQ(sound.close(), 0);
  EXPECT_EQ(device.closes, 1);
}

TEST(SoundXM, LoadPlayStopFromMemory) {
  VirtualWaveDevice device;
  SoundXM sound(ft2::kRules, device);
  ASSERT_TRUE(sound.init(44100, 4, 0));
  const std::vector<uint8_t> image = writeXM(constantModule());
  ASSERT_TRUE(sound.loadFromMemory(image.data(), static_cast<int32_t>(image.size())));
  ASSERT_NE(sound.song, nullptr);
  EXPECT_TRUE(sound.play());
  EXPECT_EQ(device.starts, 1);
  EXPECT_EQ(xmPlayer().song, sound.song);
  EXPECT_TRUE(sound.stop());
  EXPECT_EQ(xmPlayer().song, nullptr);
  sound.close();
  releaseSong(sound.song);
}

TEST(SoundXM, PlaysByTheRulesItIsMadeWithOrLaterTold) {
  VirtualWaveDevice device;
  SoundXM sound(ft2::kRules, device);
  ASSERT_TRUE(sound.init(44100, 4, 0));
  const std::vector<uint8_t> image = writeXM(constantModule());
  ASSERT_TRUE(sound.loadFromMemory(image.data(), static_cast<int32_t>(image.size())));
  EXPECT_EQ(sound.song->rules, &ft2::kRules);
  EXPECT_TRUE(sound.play());
  EXPECT_TRUE(sound.stop());
  Song* first = sound.song;
  sound.setRules(intro::kRules);
  ASSERT_TRUE(sound.loadFromMemory(image.data(), static_cast<int32_t>(image.size())));
  EXPECT_EQ(sound.song->rules, &intro::kRules);
  EXPECT_TRUE(sound.play());
  EXPECT_EQ(xmPlayer().targetScale, 255) << "the intro's levels";
  EXPECT_TRUE(sound.stop());
  sound.close();
  releaseSong(first);
  releaseSong(sound.song);
}

TEST(SoundXM, FileModeLoadsByName) {
  TempDir dir;
  const std::string path = dir.file("m.xm");
  const std::vector<uint8_t> image = writeXM(constantModule());
  { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size()); }
  VirtualWaveDevice device;
  SoundXM sound(ft2::kRules, device);
  ASSERT_TRUE(sound.init(22050, 0, 1));
  EXPECT_EQ(streamCallbacks().open, kFileStreamCallbacks.open);
  ASSERT_TRUE(sound.load(path.c_str()));
  EXPECT_EQ(sound.song->channelCount, 1);
  releaseSong(sound.song);
  EXPECT_FALSE(sound.load(dir.file("missing.xm").c_str()));
  EXPECT_EQ(sound.song, nullptr);
  sound.close();
}

TEST(SoundXM, MissingResourceLoadsNothing) {
  VirtualWaveDevice device;
  SoundXM sound(ft2::kRules, device);
  ASSERT_TRUE(sound.init(44100, 4, 0));
  EXPECT_FALSE(sound.loadFromResource(999, "sound"));
  EXPECT_EQ(sound.song, nullptr);
  EXPECT_FALSE(sound.loadFromResource(1, "test")) << "a resource that is no module";
  sound.close();
}

TEST(SoundXMDeathTest, PlayAndStopWithoutASongAndLoadWithoutANameAssert) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  VirtualWaveDevice device;
  EXPECT_DEATH(
      {
        LogFile log(path.c_str());
        SoundXM sound(ft2::kRules, device);
        sound.play();
      },
      "");
  EXPECT_NE(readFile(path).find("*** TAV ASSERTION ***\nexpression: mod\nfile: src/SoundLib/xmplay/SoundXM\nline: 179\n"),
            std::string::npos);
  EXPECT_DEATH(
      {
        LogFile log(path.c_str());
        SoundXM sound(ft2::kRules, device);
        sound.stop();
      },
      "");
  EXPECT_NE(readFile(path).find("expression: mod\nfile: src/SoundLib/xmplay/SoundXM\nline: 190\n"), std::string::npos);
  EXPECT_DEATH(
      {
        LogFile log(path.c_str());
        SoundXM sound(ft2::kRules, device);
        sound.load(nullptr);
      },
      "");
  EXPECT_NE(readFile(path).find("expression: filename\nfile: src/SoundLib/xmplay/SoundXM\nline: 145\n"),
            std::string::npos);
}
