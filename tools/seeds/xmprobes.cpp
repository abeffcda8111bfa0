// Writes one small module per FastTracker 2 effect, volume column command, instrument feature
// and quirk into a folder, so that `bench/fidelity.sh DIR/*.xm` tells how alike bfrender sounds
// to the other players feature by feature. Each module plays a melodic line (a note every 8
// rows) that uses its feature with a few parameters, mostly one 64-row pattern at speed 6 and
// 125 BPM: 7.7 s.
#include <cstdio>
#include <string>
#include <vector>

#include "Programs/FileBytes.h"
#include "SoundLib/xmplay/rules/Effects.h"
#include "modules/XMWriter.h"

namespace {
// The line's notes, one every kBlock rows: C-4 E-4 G-4 C-5 A-3 F-4 D-4 G-3 (49 is C-4).
const uint8_t kMelody[] = {49, 53, 56, 61, 46, 54, 51, 44};
constexpr int kBlock = 8;

// Effects past F by their letters, as a tracker shows them.
constexpr uint8_t kG = effect::kSetGlobalVolume, kH = effect::kGlobalVolumeSlide, kK = effect::kKeyOff,
                  kL = effect::kEnvelopePosition, kP = effect::kPanningSlide, kR = effect::kMultiRetrig,
                  kT = effect::kTremor, kX = effect::kExtraFine;

// One cycle of a saw in 32 frames (261.6 Hz at C-4), half of full scale in either width.
int16_t saw(int frame, bool sixteenBit) { return static_cast<int16_t>((frame % 32 - 16) * (sixteenBit ? 1024 : 4)); }

XMSampleSpec loopedSaw(bool sixteenBit = true, uint8_t loopType = 1, uint32_t loopStart = 0) {
  XMSampleSpec s;
  s.sixteenBit = sixteenBit;
  for (int k = 0; k < 32; ++k) s.data.push_back(saw(k, sixteenBit));
  s.loopType = loopType;
  s.loopStart = loopStart;
  s.loopLength = 32 - loopStart;
  return s;
}

// Two seconds at C-4, unlooped, fading out linearly: where in the sample a note (re)starts is
// heard as its level.
XMSampleSpec fadingSaw() {
  XMSampleSpec s;
  s.sixteenBit = true;
  const int frames = 16384;
  for (int k = 0; k < frames; ++k) s.data.push_back(static_cast<int16_t>(saw(k, true) * (frames - k) / frames));
  return s;
}

XMInstrumentSpec instrument(XMSampleSpec sample = loopedSaw(), XMEnvelopeSpec volume = {}, uint16_t fadeout = 0) {
  XMInstrumentSpec i;
  i.samples.push_back(std::move(sample));
  i.volumeEnvelope = std::move(volume);
  i.fadeout = fadeout;
  return i;
}

// Envelope type bits: 1 on, 2 sustain, 4 loop. Ticks, values 0-64.
const XMEnvelopeSpec kSustained{.points = {{0, 0}, {4, 64}, {16, 32}, {40, 48}, {64, 0}}, .sustain = 2, .type = 3};
const XMEnvelopeSpec kDecaying{.points = {{0, 64}, {24, 16}}, .type = 1};

// `patterns` patterns of `rows` rows, played in order, each with the line on channel 0 a whole
// tone above the one before; instrument 1 plays the looped saw.
XMModuleSpec song(int channels = 1, int patterns = 1, int rows = 64) {
  XMModuleSpec m;
  m.tracker = "FastTracker v2.00";
  m.channels = channels;
  m.orders.clear();
  m.patterns.resize(patterns);
  for (int p = 0; p < patterns; ++p) {
    m.orders.push_back(static_cast<uint8_t>(p));
    m.patterns[p].rows = rows;
    for (int r = 0; r < rows; r += kBlock)
      m.patterns[p].at(r, 0, channels) = {static_cast<uint8_t>(kMelody[r / kBlock % 8] + 2 * p), 1};
  }
  m.instruments.push_back(instrument());
  return m;
}

XMNote& at(XMModuleSpec& m, int row, int channel = 0, int pattern = 0) {
  return m.patterns[pattern].at(row, channel, m.channels);
}

// What a row holds besides its note and instrument.
struct Cell {
  uint8_t volume = 0, effect = 0, parameter = 0;
};

void put(XMNote& n, const Cell& c) {
  n.volume = c.volume;
  n.effect = c.effect;
  n.parameter = c.parameter;
}

std::vector<Cell> fx(uint8_t effect, const std::vector<uint8_t>& parameters) {
  std::vector<Cell> cells;
  for (uint8_t p : parameters) cells.push_back({0, effect, p});
  return cells;
}

std::vector<Cell> vol(const std::vector<uint8_t>& volumes) {
  std::vector<Cell> cells;
  for (uint8_t v : volumes) cells.push_back({v});
  return cells;
}

std::vector<Cell> withVolume(std::vector<Cell> cells, uint8_t volume) {
  for (Cell& c : cells) c.volume = volume;
  return cells;
}

// Row `offset` after the k-th note of the line (in pattern 0) gets cells[k % cells.size()].
void each(XMModuleSpec& m, int offset, const std::vector<Cell>& cells, int channel = 0) {
  for (int k = 0; k * kBlock + offset < m.patterns[0].rows; ++k) put(at(m, k * kBlock + offset, channel), cells[k % cells.size()]);
}

// Note k of the line plays instrument k % count + 1.
void cycleInstruments(XMModuleSpec& m, int count) {
  for (int k = 0; k * kBlock < m.patterns[0].rows; ++k) at(m, k * kBlock).instrument = static_cast<uint8_t>(k % count + 1);
}

// The line with the effect on each note's row (head) and the span - 1 rows after it (tail, the
// head again where empty).
XMModuleSpec line(const std::vector<Cell>& head, const std::vector<Cell>& tail = {}, int span = 6) {
  XMModuleSpec m = song();
  for (int r = 0; r < span; ++r) each(m, r, r && !tail.empty() ? tail : head);
  return m;
}

// The line gliding from note to note: the first note is played plainly, the others carry a
// tone portamento, without instrument number unless asked.
XMModuleSpec glide(const std::vector<Cell>& head, const std::vector<Cell>& tail = {}, bool instrumentNumbers = false) {
  XMModuleSpec m = line(head, tail);
  for (int r = 0; r < kBlock; ++r) put(at(m, r), {});
  if (!instrumentNumbers)
    for (int k = 1; k * kBlock < m.patterns[0].rows; ++k) at(m, k * kBlock).instrument = 0;
  return m;
}

// Notes across the whole range, each with its own instrument of another finetune and relative
// note; `flags` 0 is the Amiga frequency table, 1 the linear one.
XMModuleSpec finetunes(uint16_t flags) {
  XMModuleSpec m = song();
  m.flags = flags;
  const uint8_t notes[] = {13, 25, 37, 73, 85, 61, 96, 44};
  const int8_t finetune[] = {0, -128, -64, -16, 16, 64, 127, 100};
  const int8_t relative[] = {0, 0, 12, -12, 0, 7, 0, -5};
  m.instruments.clear();
  for (int k = 0; k < 8; ++k) {
    XMSampleSpec s = loopedSaw();
    s.finetune = finetune[k];
    s.relativeNote = relative[k];
    m.instruments.push_back(instrument(s));
    at(m, k * kBlock).note = notes[k];
  }
  cycleInstruments(m, 8);
  each(m, 4, fx(0x4, {0x48}));  // a vibrato in the note's second half
  return m;
}

// Key offs `offset` rows after each note.
XMModuleSpec keyOffs(XMInstrumentSpec ins, int offset) {
  XMModuleSpec m = song();
  m.instruments[0] = std::move(ins);
  for (int k = 0; k < 8; ++k) at(m, k * kBlock + offset).note = kFileKeyOff;
  return m;
}

struct Probe {
  const char* name;
  XMModuleSpec (*build)();
};

const Probe kProbes[] = {
    // Effects 0-F.
    {"fx_0_arpeggio", [] { return line(fx(0x0, {0x37, 0x47, 0x0C, 0x58})); }},
    {"fx_1_portamento_up", [] { return line(fx(0x1, {0x04, 0x00, 0x10, 0x28})); }},
    {"fx_2_portamento_down", [] { return line(fx(0x2, {0x04, 0x00, 0x10, 0x28})); }},
    {"fx_3_tone_portamento", [] { return glide(fx(0x3, {0x08, 0x04, 0x00, 0x20})); }},
    {"fx_4_vibrato", [] { return line(fx(0x4, {0x48, 0x8F, 0x00, 0x2C})); }},
    {"fx_5_portamento_volume_slide", [] { return glide(fx(0x3, {0x06, 0x10}), fx(0x5, {0x01, 0x20, 0x02, 0x10})); }},
    {"fx_6_vibrato_volume_slide", [] { return line(fx(0x4, {0x48, 0x6A, 0x3F, 0x8C}), fx(0x6, {0x01, 0x20, 0x02, 0x0F})); }},
    {"fx_7_tremolo", [] { return line(fx(0x7, {0x48, 0x8F, 0x00, 0x2C})); }},
    {"fx_8_panning", [] { return line(fx(0x8, {0x00, 0xFF, 0x40, 0xC0}), fx(0x8, {0x80, 0x20, 0xE0, 0x00}), 4); }},
    {"fx_9_sample_offset",
     [] {
       XMModuleSpec m = line(fx(0x9, {0x10, 0x00, 0x28, 0x38, 0x48, 0x04, 0x20, 0x08}), {}, 1);
       m.instruments[0] = instrument(fadingSaw());
       return m;
     }},
    {"fx_A_volume_slide",
     [] {
       const auto slides = fx(0xA, {0x04, 0x20, 0x00, 0x30, 0x0F, 0x01});
       return line(withVolume(slides, 0x30), slides);
     }},
    {"fx_B_position_jump",
     [] {
       XMModuleSpec m = song(1, 4, 32);
       put(at(m, 15, 0, 0), {0, 0xB, 0x02});  // order 1 is never heard
       put(at(m, 23, 0, 2), {0, 0xB, 0x03});
       return m;
     }},
    {"fx_C_set_volume", [] { return line(fx(0xC, {0x40, 0x10, 0x30, 0x50}), fx(0xC, {0x08, 0x30, 0x00, 0x20}), 4); }},
    {"fx_D_pattern_break",
     [] {
       XMModuleSpec m = song(1, 3, 32);
       put(at(m, 11, 0, 0), {0, 0xD, 0x10});  // to row 10 (decimal digits)
       put(at(m, 20, 0, 1), {0, 0xD, 0x05});
       return m;
     }},
    {"fx_F_speed", [] { return line(fx(0xF, {0x03, 0x08, 0x02, 0x0C, 0x01, 0x06, 0x04, 0x05}), fx(0x0, {0x37})); }},
    {"fx_F_bpm", [] { return line(fx(0xF, {0x40, 0xFF, 0x60, 0xC8, 0x20, 0x7D, 0xA0, 0x90}), fx(0x0, {0x37})); }},

    // E commands.
    {"fx_E1_fine_portamento_up", [] { return line(fx(0xE, {0x14, 0x1F, 0x10, 0x18})); }},
    {"fx_E2_fine_portamento_down", [] { return line(fx(0xE, {0x24, 0x2F, 0x20, 0x28})); }},
    {"fx_E3_glissando",
     [] {
       XMModuleSpec m = glide(fx(0x3, {0x04, 0x08, 0x02, 0x06}));
       put(at(m, 0), {0, 0xE, 0x31});
       put(at(m, 39), {0, 0xE, 0x30});  // the last three glides smooth again
       return m;
     }},
    {"fx_E4_vibrato_waveforms",
     [] {
       XMModuleSpec m = line(fx(0x4, {0x6C}));
       each(m, 7, fx(0xE, {0x41, 0x42, 0x43, 0x40}));  // the next note's waveform
       return m;
     }},
    {"fx_E5_finetune", [] { return line(fx(0xE, {0x50, 0x54, 0x58, 0x5C, 0x5F, 0x52, 0x5A, 0x57}), {}, 1); }},
    {"fx_E6_pattern_loop",
     [] {
       XMModuleSpec m = song();
       m.speed = 3;
       put(at(m, 0), {0, 0xE, 0x60});
       put(at(m, 15), {0, 0xE, 0x62});  // rows 0-15 three times
       put(at(m, 16), {0, 0xE, 0x60});
       put(at(m, 31), {0, 0xE, 0x61});  // rows 16-31 twice
       return m;
     }},
    {"fx_E7_tremolo_waveforms",
     [] {
       XMModuleSpec m = line(fx(0x7, {0x6C}));
       each(m, 7, fx(0xE, {0x71, 0x72, 0x73, 0x70}));
       return m;
     }},
    {"fx_E9_retrigger",
     [] {
       XMModuleSpec m = line(fx(0xE, {0x93, 0x92, 0x94, 0x91, 0x95, 0x96}));
       m.instruments[0] = instrument(fadingSaw());
       return m;
     }},
    {"fx_EA_fine_volume_slide_up",
     [] {
       const auto slides = fx(0xE, {0xA2, 0xA4, 0xA0, 0xA8});
       return line(withVolume(slides, 0x18), slides);
     }},
    {"fx_EB_fine_volume_slide_down", [] { return line(fx(0xE, {0xB2, 0xB4, 0xB0, 0xB8})); }},
    {"fx_EC_note_cut", [] { return line(fx(0xE, {0xC3, 0xC1, 0xC5, 0xC0, 0xC8, 0xC2}), {}, 1); }},
    {"fx_ED_note_delay", [] { return line(fx(0xE, {0xD2, 0xD4, 0xD0, 0xD5, 0xD7, 0xD1}), {}, 1); }},
    {"fx_EE_pattern_delay", [] { return line(fx(0xE, {0xE1, 0xE2, 0xE1, 0xE3}), fx(0x2, {0x03})); }},
    {"fx_ED_EE_note_delay_in_pattern_delay",
     [] {
       XMModuleSpec m = song(2);
       each(m, 0, fx(0xE, {0xD2, 0xD3, 0xD1, 0xD4}));
       each(m, 0, fx(0xE, {0xE1, 0xE2}), 1);
       return m;
     }},

    // Effects past F.
    {"fx_G_global_volume", [] { return line(fx(kG, {0x40, 0x10, 0x30, 0x08, 0x60, 0x20, 0x00, 0x38}), {}, 1); }},
    {"fx_H_global_volume_slide", [] { return line(fx(kH, {0x02, 0x00, 0x30, 0x10, 0x01, 0x08, 0x20, 0x20}), {}, 3); }},
    {"fx_K_key_off",
     [] {
       XMModuleSpec m = song();
       m.instruments[0] = instrument(loopedSaw(), kSustained);
       each(m, 3, fx(kK, {0x00, 0x02, 0x04, 0x05, 0x01, 0x03, 0x06, 0x00}));
       return m;
     }},
    {"fx_L_envelope_position",
     [] {
       XMModuleSpec m = song();
       m.instruments[0] = instrument(loopedSaw(), {.points = {{0, 64}, {10, 20}, {30, 60}, {60, 10}, {100, 40}}, .type = 1});
       each(m, 2, fx(kL, {0x00, 0x0A, 0x20, 0x40, 0x05, 0x50, 0x18, 0x30}));
       return m;
     }},
    {"fx_P_panning_slide", [] { return line(fx(kP, {0x40, 0x04, 0xF0, 0x0F, 0x00, 0x20, 0x02, 0x80})); }},
    {"fx_R_multi_retrigger",
     [] {
       const auto retrigs = fx(kR, {0x03, 0x23, 0x53, 0x63, 0x72, 0x93, 0xB3, 0xE2});
       XMModuleSpec m = line(withVolume(retrigs, 0x30), retrigs);
       m.instruments[0] = instrument(fadingSaw());
       return m;
     }},
    {"fx_T_tremor", [] { return line(fx(kT, {0x11, 0x23, 0x41, 0x00, 0x02, 0x30})); }},
    {"fx_X1_extra_fine_portamento_up", [] { return line(fx(kX, {0x18, 0x1F, 0x10, 0x14})); }},
    {"fx_X2_extra_fine_portamento_down", [] { return line(fx(kX, {0x28, 0x2F, 0x20, 0x24})); }},

    // The volume column.
    {"vol_set_volume",
     [] { return line(vol({0x10, 0x50, 0x30, 0x20, 0x40, 0x18, 0x48, 0x28}), vol({0x40, 0x18, 0x48, 0x28, 0x10, 0x50, 0x30, 0x20}), 4); }},
    {"vol_6x_7x_volume_slide", [] { return line(vol({0x50, 0x20, 0x50, 0x10}), vol({0x62, 0x74, 0x6F, 0x71})); }},
    {"vol_8x_9x_fine_volume_slide", [] { return line(vol({0x50, 0x20, 0x50, 0x10}), vol({0x84, 0x98, 0x8F, 0x92})); }},
    {"vol_Ax_Bx_vibrato", [] { return line(vol({0xA4, 0xA8, 0xAF, 0xA2}), vol({0xB4, 0xB8, 0xBF, 0xB0})); }},
    {"vol_Cx_panning", [] { return line(vol({0xC0, 0xCF, 0xC4, 0xCA}), {}, 1); }},
    {"vol_Dx_Ex_panning_slide", [] { return line(vol({0xC8}), vol({0xD4, 0xE4, 0xD2, 0xEF})); }},
    {"vol_Fx_tone_portamento", [] { return glide(vol({0xF2, 0xF4, 0xF1, 0xF8})); }},

    // Instruments.
    {"ins_volume_envelope_sustain", [] { return keyOffs(instrument(loopedSaw(), kSustained), 4); }},
    {"ins_volume_envelope_loop",
     [] {
       XMModuleSpec m = song();
       m.instruments[0] = instrument(
           loopedSaw(), {.points = {{0, 64}, {8, 16}, {16, 56}, {24, 8}, {40, 40}}, .loopStart = 1, .loopEnd = 3, .type = 5});
       return m;
     }},
    {"ins_panning_envelope",
     [] {
       // A level volume envelope keeps the note sounding past the key off.
       XMModuleSpec m = keyOffs(instrument(loopedSaw(), {.points = {{0, 64}, {8, 64}}, .sustain = 1, .type = 3}), 6);
       m.instruments[0].panningEnvelope = {.points = {{0, 0}, {12, 64}, {24, 32}, {48, 60}}, .sustain = 2, .type = 3};
       return m;
     }},
    {"ins_fadeout_with_envelope",
     [] { return keyOffs(instrument(loopedSaw(), {.points = {{0, 64}, {10, 48}}, .sustain = 1, .type = 3}, 0x0600), 3); }},
    {"ins_fadeout_without_envelope", [] { return keyOffs(instrument(loopedSaw(), {}, 0x0600), 3); }},
    {"ins_key_off_without_envelope",
     [] {
       XMModuleSpec m = keyOffs(instrument(), 3);
       for (int k = 1; k < 8; k += 2) at(m, k * kBlock + 3).instrument = 1;  // every other one with instrument number
       return m;
     }},
    {"ins_auto_vibrato",
     [] {
       XMModuleSpec m = song();
       m.instruments.clear();
       const uint8_t sweep[] = {0, 32, 0, 64}, depth[] = {8, 15, 4, 12}, rate[] = {16, 40, 8, 63};
       for (int type = 0; type < 4; ++type) {
         XMInstrumentSpec ins = instrument();
         ins.vibratoType = static_cast<uint8_t>(type);
         ins.vibratoSweep = sweep[type];
         ins.vibratoDepth = depth[type];
         ins.vibratoRate = rate[type];
         m.instruments.push_back(ins);
       }
       cycleInstruments(m, 4);
       return m;
     }},

    // Frequency tables.
    {"freq_amiga_finetunes", [] { return finetunes(0); }},
    {"freq_linear_finetunes", [] { return finetunes(1); }},
    {"freq_amiga_slides",
     [] {
       XMModuleSpec m = line({{0, 0x1, 0x08}, {0, 0x2, 0x10}, {0, 0x4, 0x6C}, {0, 0x0, 0x37}, {0, 0xE, 0x1F}, {0, 0xE, 0x2F}});
       m.flags = 0;
       return m;
     }},
    {"freq_amiga_tone_portamento",
     [] {
       XMModuleSpec m = glide(fx(0x3, {0x08, 0x04, 0x00, 0x20}));
       m.flags = 0;
       return m;
     }},

    // Quirks.
    {"quirk_instrument_without_note",
     [] {
       XMModuleSpec m = song();
       m.instruments[0] = instrument(loopedSaw(), kDecaying);
       XMSampleSpec square = loopedSaw();
       for (int k = 0; k < 32; ++k) square.data[k] = static_cast<int16_t>(k < 16 ? 8192 : -8192);
       square.volume = 32;
       m.instruments.push_back(instrument(square, {.points = {{0, 16}, {24, 64}}, .type = 1}));
       for (int k = 0; k < 8; ++k) at(m, k * kBlock + 4).instrument = static_cast<uint8_t>(k % 2 + 1);
       return m;
     }},
    {"quirk_tone_portamento_with_instrument",
     [] {
       XMModuleSpec m = glide(fx(0x3, {0x04, 0x10, 0x08, 0x02}), {}, true);
       m.instruments[0] = instrument(loopedSaw(), kDecaying);
       each(m, 6, vol({0x18}));
       return m;
     }},
    {"quirk_E9_ED_on_tick_0",
     [] {
       XMModuleSpec m = line(fx(0xE, {0x90, 0xD0}), {}, 1);
       each(m, 4, fx(0xE, {0xD0, 0x90}));  // and on rows without a note
       m.instruments[0] = instrument(fadingSaw());
       return m;
     }},
    {"quirk_B_and_D_on_one_row",
     [] {
       XMModuleSpec m = song(2, 4, 32);
       put(at(m, 11, 0, 0), {0, 0xB, 0x02});
       put(at(m, 11, 1, 0), {0, 0xD, 0x08});
       put(at(m, 19, 0, 2), {0, 0xD, 0x04});
       put(at(m, 19, 1, 2), {0, 0xB, 0x03});
       return m;
     }},
    {"quirk_pingpong_loops",
     [] {
       XMModuleSpec m = song();
       m.instruments = {instrument(loopedSaw(true, 2)), instrument(loopedSaw(true, 2, 8)), instrument(loopedSaw(false, 2, 3))};
       cycleInstruments(m, 3);
       return m;
     }},
    {"quirk_8bit_and_16bit_samples",
     [] {
       XMModuleSpec m = song();
       m.instruments = {instrument(loopedSaw(false)), instrument(loopedSaw(true)), instrument(loopedSaw(false, 1, 20))};
       cycleInstruments(m, 3);
       return m;
     }},
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xmprobes DIR\n");
    return 2;
  }
  for (const Probe& probe : kProbes) {
    const std::string path = std::string(argv[1]) + "/" + probe.name + ".xm";
    if (!writeFileBytes(path.c_str(), writeXM(probe.build()))) {
      std::fprintf(stderr, "xmprobes: cannot write %s\n", path.c_str());
      return 2;
    }
  }
  return 0;
}
