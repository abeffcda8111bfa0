#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "SoundLib/xmplay/FT2Channel.h"
#include "SoundLib/xmplay/IntroChannel.h"
#include "SoundLib/xmplay/Song.h"
#include "Platform/Thread.h"

class WaveDevice;

// One voice of the software mixer: a 16-bit sample played at a 32.32 step with a volume ramp.
struct MixerChannel {
  int32_t index;
  const Sample* sample;  // none: silent and skipped
  int32_t leftTarget;
  int32_t rightTarget;
  uint32_t position;
  uint32_t positionFraction;
  uint32_t stepFraction;
  uint32_t step;
  int32_t direction;  // kForward or kBackward
  int32_t rampLeftTarget;
  int32_t rampRightTarget;
  int32_t rampLeftLevel;   // 8.8
  int32_t rampRightLevel;  // 8.8
  float rampLeftDelta;
  float rampRightDelta;
  int32_t rampFramesLeft;
  // The length of the next ramp in frames; 0: the player's ramp length.
  int32_t rampLength;
  // A voice a new note has left behind to fade out: no channel drives it any more, so once it
  // has faded it is done.
  bool leftBehind;
};

constexpr int32_t kForward = 1;
constexpr int32_t kBackward = 2;
constexpr int kMixerChannels = 64;

// Everything the player shares between its parts: output constants, the channels, the ring
// and its mix buffer, the current song and the flags the mixing thread and the main thread
// share. The program has one (xmPlayer()); tests and offline renderers make their own.
struct XMPlayer {
  XMPlayer();
  ~XMPlayer();
  XMPlayer(const XMPlayer&) = delete;
  XMPlayer& operator=(const XMPlayer&) = delete;

  int32_t rate = 0;
  int32_t rampLength = 0;  // frames; the rule set's at song start
  float rampReciprocal = 0;
  int32_t blockLength = 0;  // B, frames
  int32_t ringLength = 0;   // N, frames

  MixerChannel mixer[kMixerChannels];
  // The state of the rule set that plays the song, one set at a time (its song start resets it).
  union {
    intro::State intro;
    ft2::State ft2;
  };
  // Level of a mixer channel's target that means full scale, from the song's rule set.
  float targetScale = 255;
  // The song channels heard, bit c for channel c (whose voices are mixer channels c and c + 32):
  // the others are not mixed at all. Nothing in a channel's playing reads another's voices, so
  // the heard ones sound as in the full mix, and a render per channel gives stems.
  uint32_t channelMask = 0xFFFFFFFF;

  std::unique_ptr<int16_t[]> output;  // N stereo frames
  std::unique_ptr<uint8_t[]> mixStorage;
  float* mixBuffer = nullptr;  // N stereo frames, 16-byte aligned inside mixStorage

  Song* song = nullptr;
  std::atomic<int32_t> blockIndex{0};  // written by the mixing thread; atomic so others may watch it
  std::atomic<uint8_t> stopFlag{0};
  std::atomic<uint8_t> busy{0};
  std::atomic<uint8_t> finished{0};
  // Blocks the device reached before the mixing thread had rendered them, since play.
  std::atomic<uint32_t> underruns{0};
  // The mixing thread's own counts since play: blocks rendered and blocks the device played unrendered.
  uint64_t blocksRendered = 0;
  uint64_t blocksMissed = 0;
  PlatformThread thread;  // none where the device runs the passes itself

  WaveDevice* device = nullptr;
  bool deviceOpen = false;
};

XMPlayer& xmPlayer();

// Output rate and what follows from it: block and ring lengths, ramp length; clears the mixer.
void configureOutput(XMPlayer& player, int32_t rate);
// Allocates a zeroed output ring and mix buffer for the configured rate.
void allocateRing(XMPlayer& player);
