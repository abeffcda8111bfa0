#pragma once

#include <set>
#include <string>

#include "Reduction.h"
#include "modules/MusicalIT.h"

// The reduction for written IT modules: their notes and samples as S3MReducer.h reduces an S3M,
// then each instrument's features one by one (new-note action, duplicate check, envelopes,
// fadeout, filter, pitch-pan separation), the header's flags and the instruments themselves
// (sample mode), while the difference stays.
using StillDiffersIT = StillDiffersIn<MusicalIT>;
MusicalIT reduceModule(MusicalIT module, const StillDiffersIT& stillDiffers);

// What a written IT uses, by name: the commands and cells as S3MReducer.h names them, and the
// instruments' features ("NNA continue", "volume envelope", "sustain", "filter"...), the flags
// ("old effects", "compatible Gxx", "Amiga slides", "sample mode").
std::set<std::string> featuresOf(const MusicalIT& module);
