#pragma once

#include <set>
#include <string>

#include "ModuleReducer.h"
#include "modules/S3MWriter.h"

// ModuleReducer.h's reduction for S3M modules: what follows the order where the difference shows,
// orders, channels, cells and each of their fields, samples and what each has (loop, volume, C
// frequency), the header's settings, until nothing more can go.
using StillDiffersS3M = StillDiffersIn<S3MModuleSpec>;
S3MModuleSpec reduceModule(S3MModuleSpec module, const StillDiffersS3M& stillDiffers);

// What an S3M module uses, by name: its commands by letter and the forms that play differently
// ("D0y", "DxF", "EFx", "SBx"), the volume column, cuts, instrument numbers without notes, the
// header's flags, C frequencies other than 8363 Hz and loops after an attack.
std::set<std::string> featuresOf(const S3MModuleSpec& module);
