#pragma once

#include "Platform/WaveDevice.h"
#include "SoundLib/Sound.h"
#include "SoundLib/xmplay/engine/Song.h"

// XM modules through the process-wide player: one object per process. Its songs play by the
// rule set it is made with (the intro's own for the intro); setRules changes it for later loads.
class SoundXM : public Sound {
 public:
  explicit SoundXM(const RuleSet& rules, WaveDevice& device = platformWaveDevice()) : rules(&rules), device(&device) {}
  void setRules(const RuleSet& chosen) { rules = &chosen; }

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
  const RuleSet* rules;

 private:
  WaveDevice* device;
};
