#pragma once

#include <string>

#include "brackenfold/tracker.h"
#include "SoundLib/xmplay/engine/Song.h"

// A pattern cell as the C interface gives it: the same fields for every format (bft_cell), and as
// text the way the format's tracker shows it in its pattern editor.

// The family of commands a format's cells hold: XM's numbers (XM, MOD) or Scream Tracker 3's
// letters (S3M, IT); and how its tracker writes a cell.
enum class CellStyle { kFastTracker2, kProTracker, kScreamTracker3, kImpulseTracker };
CellStyle cellStyleOf(const Song& song);

bft_cell neutralCell(const Note& note, CellStyle style);
// "C-4 01 40 A0F" (FastTracker 2), "C-4 01 C20" (ProTracker), "C-4 01 32 A0F" (Scream Tracker 3),
// "C-4 01 v64 A0F" (Impulse Tracker).
std::string cellText(const bft_cell& cell, CellStyle style);
