#pragma once

#include "SoundLib/xmplay/Player.h"

// What the two rule sets share: the song's start, the tempo, the current row's notes, pitch to
// mixer step, and the hand-over of a sounding voice to its partner channel when a note starts.
// Each set's own row and effect processing lives in IntroRules (the intro's module) and
// FT2Rules (any module, as FastTracker 2 plays it).

// Intro rules: samples per tick from the tempo as the intro's player always computed them.
void setBPM(XMPlayer& player, Song& song, int32_t bpm);
// Resets the position, tempo and every channel; the song's rule set resets its own state.
void songStart(XMPlayer& player, Song& song);
// Continues at row 0 of the given order position (clamped into the song) at the next tick.
void seekOrder(XMPlayer& player, Song& song, int32_t order);

const Note* rowNotes(const Song& song);
// Frequency in Hz, raised to the 100 Hz floor, as the 32.32 step per output frame.
void setStep(MixerChannel& mixer, int64_t frequency, int32_t rate);
// The same without rounding the frequency to whole Hz.
void setFrequency(MixerChannel& mixer, double frequency, int32_t rate);
// A new note on a voice that still sounds: the old sound moves to the partner channel (index
// +- 32) and ramps out there; returns the channel the new note plays on.
MixerChannel* takeVoice(XMPlayer& player, MixerChannel* mixer);
// Starts a sample from its first frame on a voice, ramping up from silence.
void startVoice(MixerChannel& mixer, const Sample* sample);
