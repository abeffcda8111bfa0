#pragma once

#include <functional>
#include <set>
#include <string>

#include "Reduction.h"
#include "modules/XMWriter.h"

// Takes a module apart while a difference stays: what follows the place it shows first, orders,
// channels, notes and each of their fields, rows, instruments and what each has (samples,
// envelopes, vibrato, fadeout, loops), until nothing more can go. `stillDiffers` is asked of
// every candidate and says where the difference shows in it.
using StillDiffers = StillDiffersIn<XMModuleSpec>;
XMModuleSpec reduceModule(XMModuleSpec module, const StillDiffers& stillDiffers);

// What a module uses, by name: its effects and volume-column commands ("3xx", "E6x", "vol Fx"),
// key offs, instrument numbers without notes, and its instruments' features ("volume envelope",
// "sustain", "ping-pong loop"...). Plain notes and instruments are left out.
std::set<std::string> featuresOf(const XMModuleSpec& module);
