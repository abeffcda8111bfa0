// Impulse Tracker's test modules (../shared/testdata/it-impulse) that check themselves (SelfCheck.h):
// the player's result on the left and the tracker's recording on the right, or channels that must
// cancel, each rendered by Impulse Tracker's rules. The Storlek tests and the few others judged
// by listening are left out.
#include <gtest/gtest.h>

#include <vector>

#include "SelfCheck.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/it/ITRules.h"

namespace {
const char* const kSelfChecking[] = {
    "case_FineVolRowDelayMultiple", "case_bidi_sync", "case_default_volume", "case_format_it_schism",
    "case_invalid_fx", "case_it_cut_invalid_ins", "case_it_fade_env_reset", "case_it_high_offset_memory",
    "case_it_instrument_memory_default", "case_it_note_delay_nna", "case_it_portamento_envelope_reset_cg",
    "case_it_smooth_macro", "case_mpt116_32chn", "case_note_cut_ac", "case_pattern_jump_it_samepos",
    "case_pattern_jump_mpt_break", "case_pattern_loop_it100_breakjump", "case_pattern_loop_it200_breakjump",
    "case_pattern_loop_mpt", "case_portamento_after_cut_fade", "case_portamento_after_keyoff",
    "case_portamento_nna_sample", "case_portamento_sustain", "case_sample_sync",
    "case_set_position_mid_break", "case_set_position_mid_loop", "case_test", "suite_Autovibrato-Reset",
    "suite_BidiPrecision", "suite_DNA-NoInstr", "suite_EnvLoops", "suite_EnvReset",
    "suite_FilterPortaSmpChange", "suite_FineVolColSlide", "suite_InitialNoteMemoryInstrMode",
    "suite_InstrumentNumberChange", "suite_LinearSlides", "suite_LoopStartAfterPatternEnd", "suite_MultiZxx",
    "suite_NoteFade-InsMode", "suite_PatternDelays", "suite_PortaJustStoppedNote",
    "suite_PortaResetAfterRetrigger", "suite_ResetEnvNoteOffOldFx2", "suite_SusAfterLoop",
    "suite_VibratoDouble", "suite_VolColMemory", "suite_ZxxSecrets", "suite_dct_smp_note_test",
    "suite_emptyslot", "suite_extreme-filter-test-1", "suite_filter-7F", "suite_filter-reset",
    "suite_globalvol-invalid", "suite_gxsmp2", "suite_ins-ox", "suite_ins-xx", "suite_noteoff2",
    "suite_porta-offset", "suite_retrig", "suite_s7xinsnum", "suite_scx", "suite_swaptest", "suite_swing2",
    "suite_swing4", "suite_vibrato-oldfx", "suite_vol-env-carry",
};

// Known failures, each with what is wrong.
const std::vector<selfcheck::KnownFailure> kKnownFailures = {
    {"suite_ResetEnvNoteOffOldFx2", "a note off with old effects fades the instrument out"},
    {"suite_ins-ox", "a number alone with old effects restarts the envelopes at other times"},
};
}  // namespace

class ITSuite : public ::testing::TestWithParam<const char*> {};

TEST_P(ITSuite, SoundsTheSameOnBothSides) {
  selfcheck::checkModule(
      TESTDATA_DIR "/it-impulse", GetParam(), ".it",
      [](const uint8_t* data, size_t size) { return loadModule(data, size, &it::kRules, nullptr); }, kKnownFailures);
}

INSTANTIATE_TEST_SUITE_P(SelfChecking, ITSuite, ::testing::ValuesIn(kSelfChecking), selfcheck::testName);
