#pragma once

#include "Platform/WaveDevice.h"
#include "SoundLib/Sound.h"
#include "SoundLib/xmplay/Song.h"

// XM modules through the process-wide player: one object per process. Songs play by the
// FastTracker 2 rules unless the facade is told otherwise before loading; the intro asks for its own.
class SoundXM : public Sound {
 public:
  void setRules(const RuleSet& chosen) { rules = &chosen; }

  explicit SoundXM(WaveDevice& device = platformWaveDevice()) : device(&device) {}
  ~SoundXM() override {}
  bool init(int32_t rate, int32_t unused, int32_t fileMode) override;
  bool load(const char* name) override;
  bool loadFromMemory(const void* data, int32_t length) override;
  bool loadFromResource(uint16_t number, const char* type) override;
  bool play() override;
  bool stop() override;
  int32_t close() override;

  Song* song = nullptr;
  int32_t fileMode = 0;
  const RuleSet* rules = &ft2::kRules;

 private:
  WaveDevice* device;
};
