#pragma once

#include "SoundLib/xmplay/engine/Player.h"

// The mixer's voices as the rule sets take them for their notes. Two ways: a channel with one
// voice and a partner its last note fades out on (the XM and MOD sets: voice c and c + 32), and
// for new-note actions a pool of background voices after the 64 channel voices, where a note goes
// on with its own envelopes and fadeout while its channel plays the next.

// A new note on a voice that still sounds: the old sound moves to the partner channel (index
// +- 32) and ramps out there; returns the channel the new note plays on.
MixerChannel* takeVoice(XMPlayer& player, MixerChannel* mixer);
// The same where the old sound fades out over the player's ramp rather than at once (the
// FastTracker 2 and ProTracker rules).
MixerChannel* takeVoiceFadingOut(XMPlayer& player, MixerChannel* mixer);
// Starts a sample from its first frame on a voice, ramping up from silence, its sustain loop held
// and its filter's memory cleared.
void startVoice(MixerChannel& mixer, const Sample* sample);

// How loud a voice plays now: the larger of its two sides' levels (where a ramp runs, the level
// it has come to), 0 for a silent one.
int32_t voiceLevel(const MixerChannel& voice);
// A voice of the background pool (voices kChannelVoices up to the player's voiceCount): a silent
// one, else the quietest of those sounding, which is cut for it; none where the player has no
// pool. Impulse Tracker's mixers play up to 256 voices; the pool is what the 64 channel voices
// leave of that (kMixerChannels).
MixerChannel* backgroundVoice(XMPlayer& player);
// The sound on a channel's voice goes on in the background: a copy on a pool voice, counted to
// the same channel, its ramp and position where they were; the channel's voice falls silent for
// its next note. Returns the background voice; none where the voice was silent or the player
// has no pool (the sound then stops).
MixerChannel* sendToBackground(XMPlayer& player, MixerChannel& voice);
// Lets go of the sample's sustain loop: the voice plays on into the sample's normal loop, or to
// its end (a note off); nothing for a sample without one.
void releaseSustain(MixerChannel& voice);
