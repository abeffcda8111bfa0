#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "SoundLib/xmplay/engine/Interpolation.h"
#include "SoundLib/xmplay/engine/MixerKernels.h"
#include "SoundLib/xmplay/engine/Song.h"

// A voice's two-pole resonant low-pass filter: y = a x + b y1 + c y2 on each side, the
// coefficients worked out from the cutoff and resonance they were last set for (Filter.h).
struct VoiceFilter {
  bool on;
  int16_t cutoff, resonance;
  int32_t rate;
  float a, b, c;
  float history[2][2];  // the last two outputs, left (or mono) and right
};

// One voice of the software mixer: a 16-bit sample played at a 32.32 step with a volume ramp.
struct MixerChannel {
  int32_t index;
  // The song channel whose note it plays: the mask, the stems and the channels' levels count it
  // to that one.
  int32_t channel;
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
  // What the voice goes on with where the sample (or its loop's current pass) ends, as Amiga
  // hardware does with a sample swapped in without a note (the ProTracker rules): that sample's
  // loop, or silence where it has none. None: the sample loops or ends as it is.
  const Sample* queued;
  // The sample's sustain loop let go (a note off): its normal loop, or its end, from here on.
  bool released;
  VoiceFilter filter;
};

constexpr int32_t kForward = 1;
constexpr int32_t kBackward = 2;
// The voices a player has: the 64 the XM and MOD rule sets use (song channel c on voice c, and
// the sound its last note left fading out on voice c + 32), and room for the background voices of
// new-note actions.
constexpr int kMixerChannels = 256;
constexpr int kChannelVoices = 64;
constexpr int kPartnerOffset = 32;
// openmpt123's (its --stereo 100) and xmp's default: a quarter of each channel on the other side.
constexpr int32_t kDefaultSeparation = 50;

// What the player's parts share: output constants, the channels, the ring and its mix buffer,
// the current song and the state of the rule set that plays it. No device and no thread: the
// program's player (OutputPlayer, WaveOutput.h) adds those; offline renderers and the library
// make their own, one per song, so any number play at once.
struct XMPlayer {
  XMPlayer();
  XMPlayer(const XMPlayer&) = delete;
  XMPlayer& operator=(const XMPlayer&) = delete;

  int32_t rate = 0;
  int32_t rampLength = 0;  // frames; the rule set's at song start
  float rampReciprocal = 0;
  int32_t blockLength = 0;  // B, frames
  int32_t ringLength = 0;   // N, frames

  MixerChannel mixer[kMixerChannels];
  int32_t voiceCount = kChannelVoices;  // the voices mixed, from the first; the rule set's
  // The inner loops the mixer runs: the widest this processor has, unless a test asks for another
  // (every path gives the same frames).
  const MixerKernels* kernels = mixerKernels(widestMixerPath());
  // Level of a mixer channel's target that means full scale, from the song's rule set.
  float targetScale = 255;
  // The song channels heard, bit c for channel c (the voices that play its notes, MixerChannel::
  // channel): the others are not mixed at all. Nothing in a channel's playing reads another's
  // voices, so the heard ones sound as in the full mix, and a render per channel gives stems.
  uint64_t channelMask = ~uint64_t{0};
  // How far apart the two sides of a MOD's Amiga panning are, in percent: 100 the channels hard
  // left and right as on the Amiga, 0 all in the middle. Rule sets that pan by channel read it
  // every tick; XM modules pan by their own settings.
  int32_t separation = kDefaultSeparation;
  // Only the song's course is wanted (OfflineRenderer::passFrames), not its sound: a rule set
  // may leave out what it gives the mixer.
  bool courseOnly = false;
  // How the mixer reads between a sample's frames; linear is the kernels' (every path's) own, the
  // others a loop of their own (Interpolation.h).
  Interpolation interpolation = Interpolation::kLinear;
  // Song channels mixed unheard: their voices play on into scratch instead of the mix, so that a
  // channel heard again is in step (the channel mask's channels do not move at all).
  uint64_t unheardMask = 0;
  // Where set (kChannelVoices x 2 floats), the peak of what each song channel added to each side
  // of the mix during the last block fillBlock rendered, its voices summed; the mix itself is the
  // same bit for bit. The scratch is made the first time it is needed.
  float* channelPeaks = nullptr;
  std::unique_ptr<float[]> voiceScratch, channelScratch;
  // A few blocks' frames for filtered voices mixed together (the mixer's), made when first needed.
  std::unique_ptr<float[]> groupScratch;

  std::unique_ptr<int16_t[]> output;  // N stereo frames
  // Whether fillBlock rounds each block into output; off where the caller rounds the mix itself.
  bool roundsOutput = true;
  std::unique_ptr<uint8_t[]> mixStorage;
  float* mixBuffer = nullptr;  // N stereo frames, 16-byte aligned inside mixStorage

  Song* song = nullptr;
  std::atomic<int32_t> blockIndex{0};  // written by whoever fills blocks; atomic so others may watch it

  // The rule set's own state, RuleSet::stateSize bytes, zeroed at song start; only the set that
  // plays the song knows what it holds.
  void* ruleState() { return ruleStorage_.get(); }
  // Makes room for a set's state and zeroes it.
  void resetRuleState(size_t bytes);
  size_t ruleStateBytes() const { return ruleStorageBytes_; }

 private:
  std::unique_ptr<std::max_align_t[]> ruleStorage_;
  size_t ruleStorageBytes_ = 0;
};

// A silent voice at its index, counted to the channel of the fixed layout (index % 32).
void resetVoice(MixerChannel& voice, int32_t index);
// Output rate and what follows from it: block and ring lengths, ramp length; clears the mixer.
void configureOutput(XMPlayer& player, int32_t rate);
// Allocates a zeroed output ring and mix buffer for the configured rate.
void allocateRing(XMPlayer& player);
