#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "SoundLib/xmplay/FT2Channel.h"
#include "SoundLib/xmplay/Song.h"
#include "Platform/Thread.h"

class WaveDevice;

// One voice of the software mixer: a 16-bit sample played at a 32.32 step with a volume ramp.
struct MixerChannel {
  int32_t index;
  int32_t volume;   // 0..127
  int32_t panning;  // 0..255, 255 = all left
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

// The sequencer's state of one song channel.
struct MusicChannel {
  uint8_t noteIndex;
  uint8_t flags;
  MixerChannel* mixer;
  const Sample* sample;
  int32_t period;
  int32_t volume;
  int32_t panning;
  int32_t periodDelta;
  int32_t envelopeVolume;
  int32_t fadeoutVolume;
  int32_t autoVibratoPosition;
  int32_t autoVibratoSweepPosition;
  uint8_t keyOff;
  uint8_t instrumentIndex;
  uint8_t note;
  int32_t targetPeriod;
  uint8_t portamentoDownSpeed;
  int32_t tonePortamentoTarget;
  uint8_t tonePortamentoSpeed;
  int8_t vibratoPosition;
  uint8_t vibratoSpeed;
  uint8_t vibratoDepth;
};

constexpr uint8_t kFrequencyChanged = 1;
constexpr uint8_t kVolumeChanged = 2;
constexpr uint8_t kPanningChanged = 4;
constexpr uint8_t kTrigger = 8;

// Everything the player shares between its parts: output constants, the channels, the ring
// and its mix buffer, the current song and the flags the mixing thread and the main thread
// share. The program has one (xmPlayer()); tests and offline renderers make their own.
struct XMPlayer {
  XMPlayer();
  ~XMPlayer();
  XMPlayer(const XMPlayer&) = delete;
  XMPlayer& operator=(const XMPlayer&) = delete;

  int32_t rate = 0;
  int32_t rampLength = 0;
  float rampReciprocal = 0;
  int32_t blockLength = 0;  // B, frames
  int32_t ringLength = 0;   // N, frames

  MixerChannel mixer[kMixerChannels];
  MusicChannel music[kMaxChannels];
  FT2Channel ft2[kMaxChannels];
  // Level of a mixer channel's target that means full scale: the intro's rules work in 0..255,
  // the FastTracker 2 rules in finer steps so that envelopes and fades do not stair-step.
  float targetScale = 255;

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
