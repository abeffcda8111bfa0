// FastTracker 2's own test modules (../shared/testdata/xm-ft2) that check themselves (SelfCheck.h),
// each rendered by the FastTracker 2 rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SelfCheck.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/formats/XMReader.h"
#include "SoundLib/xmplay/rules/ft2/FT2Rules.h"

namespace {
// The modules whose render by openmpt123 passes the self-check of bench/fidelity.sh (left and
// right spectrograms correlating at 0.95 or more, or silence), but case_read_event_ft2, whose
// sides differ in level by design (its samples pan to 64, 192 and 254): it says what to listen
// for in its instrument names.
const char* const kSelfChecking[] = {
    "case_finefx_ft2",          "case_ft2_delay_envelope_off", "case_ft2_delay_envelope_sustain",
    "case_ft2_delay_volume_column", "case_ft2_kxx",             "case_ft2_note_invalid_subins",
    "case_ft2_note_off_after_invalid_ins", "case_ft2_note_off_sustain", "case_ft2_volume_fadeout",
    "case_lxx_after_loop",      "case_mt2_xm_double_toneporta", "case_pattern_jump_mpt_break",
    "case_pattern_loop_mpt",    "case_rstst_double_toneporta",
    "case_xm_no_cxx_dxx_memory", "suite_3xx-no-old-samp-noft", "suite_DelayCombination",
    "suite_E90",                "suite_FineVol-LinkMem",    "suite_NoteOff",
    "suite_NoteOffFade",        "suite_Off-Porta",          "suite_OffsetRange",
    "suite_PanMemory2",         "suite_PanSlideMem",        "suite_PanSustainRelease",
    "suite_PatLoop-Various",    "suite_PatternDelay-NoteDelay", "suite_Porta-LinkMem",
    "suite_Porta-Pickup",       "suite_PortaJustStoppedNote", "suite_RetrigFade",
    "suite_Tremor",             "suite_VibratoDouble",      "suite_VolColDelay",
    "suite_delay2",             "suite_delaycut",           "suite_finetune",
    "suite_retrig",
};

// Known failures, each with what is wrong.
const std::vector<selfcheck::KnownFailure> kKnownFailures = {
    // Silent but for a pop where a panning envelope's change and the volume column's meet, every
    // 8 rows: with the constant-power panning of a file that is not FastTracker 2's own the pop
    // is louder on one side (openmpt123's too). The suite does not count pops; this measure does.
    {"suite_PanSustainRelease", "pops louder on one side"},
};
}  // namespace

// Each passes the self-check of SelfCheck.h. One test per module, named after it.
class FT2Suite : public ::testing::TestWithParam<const char*> {};

TEST_P(FT2Suite, SoundsTheSameOnBothSides) {
  selfcheck::checkModule(
      TESTDATA_DIR "/xm-ft2", GetParam(), ".xm",
      [](const uint8_t* data, size_t size) { return loadModule(data, size, &ft2::kRules, nullptr); }, kKnownFailures);
}

INSTANTIATE_TEST_SUITE_P(SelfChecking, FT2Suite, ::testing::ValuesIn(kSelfChecking), selfcheck::testName);
