#pragma once

#include "SoundLib/xmplay/engine/Player.h"

// What the rule sets share: the song's start and seek (each then calls its set's own), the row
// advance, the current row's notes, the tone portamento step, and the hand-over of a sounding
// voice to its partner channel when a note starts. Each set's own row and effect processing, and
// how it turns pitch into the mixer's step, live in its own files: IntroRules (the intro's
// module) and FT2Rules (any module, as FastTracker 2 plays it).

// Resets the position, tempo and every mixer channel, takes the rule set's levels and ramp,
// zeroes the rule set's state, then the rule set sets up its own.
void songStart(XMPlayer& player, Song& song);
// Continues at row 0 of the given order position (clamped into the song) at the next tick.
void seekOrder(XMPlayer& player, Song& song, int32_t order);

const Note* rowNotes(const Song& song);
int32_t patternRows(const Song& song, int32_t order);
// The order after the song's last goes back to the restart position.
int32_t wrapOrder(const Song& song, int32_t order);
// A tone portamento's step: speed closer to the target, never past it.
int32_t slideTowards(int32_t period, int32_t target, int32_t speed);

// A new note on a voice that still sounds: the old sound moves to the partner channel (index
// +- 32) and ramps out there; returns the channel the new note plays on.
MixerChannel* takeVoice(XMPlayer& player, MixerChannel* mixer);
// The same where the old sound fades out over the player's ramp rather than at once (the
// FastTracker 2 and ProTracker rules).
MixerChannel* takeVoiceFadingOut(XMPlayer& player, MixerChannel* mixer);
// Starts a sample from its first frame on a voice, ramping up from silence.
void startVoice(MixerChannel& mixer, const Sample* sample);
