// Scream Tracker 3's test modules (../shared/testdata/s3m-st3) that check themselves (SelfCheck.h):
// the player's result on the left and the tracker's recording on the right, or channels that must
// cancel, each rendered by Scream Tracker 3's rules.
#include <gtest/gtest.h>

#include <vector>

#include "SelfCheck.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/rules/st3/ST3Rules.h"

namespace {
// case_stereo is left out: it plays one sound to listen to on each side.
const char* const kSelfChecking[] = {
    "case_format_s3m_schism",
    "case_pattern_jump_st3_break",
    "case_pattern_loop_imf_breakjump",
    "case_pattern_loop_mpt_breakjump",
    "case_pattern_loop_st301_breakjump",
    "case_pattern_loop_st321_breakjump",
    "suite_AdlibZeroVolumeNote",
    "suite_FreqLimits",
    "suite_NOP",
    "suite_NoCombinedSlidesOnFirstTick-Normal",
    "suite_OffsetPastSampleEnd",
    "suite_OxxMemoryWithRetrig",
    "suite_PatternDelays",
    "suite_PeriodLimit",
    "suite_PortaAfterArp",
    "suite_RetrigAfterNoteCut",
    "suite_TonePortamentoWithAdlibNote",
    "suite_weirdloop",
};

// Known failures, each with what is wrong.
const std::vector<selfcheck::KnownFailure> kKnownFailures = {};
}  // namespace

class ST3Suite : public ::testing::TestWithParam<const char*> {};

TEST_P(ST3Suite, SoundsTheSameOnBothSides) {
  selfcheck::checkModule(
      TESTDATA_DIR "/s3m-st3", GetParam(), ".s3m",
      [](const uint8_t* data, size_t size) { return loadModule(data, size, &st3::kRules, nullptr); }, kKnownFailures);
}

INSTANTIATE_TEST_SUITE_P(SelfChecking, ST3Suite, ::testing::ValuesIn(kSelfChecking), selfcheck::testName);
