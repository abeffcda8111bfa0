/* brackenfold tracker: tracker modules as sound, a small C library.

   Bytes and a length in, interleaved stereo frames out, one handle per song:

     char why[128];
     bft_module* song = bft_load(bytes, size, 44100, NULL, why, sizeof why);
     if (!song) { fprintf(stderr, "%s\n", why); return 1; }
     int16_t frames[2 * 1024];
     size_t n;
     while ((n = bft_render(song, frames, 1024)) > 0) write_somewhere(frames, n);
     bft_free(song);

   What it plays, recognised by content whatever the file's name: XM modules (FastTracker 2's
   format, versions 1.02 to 1.04, and what other trackers write in it), by FastTracker 2's rules
   ("ft2", the default for XM) or by the rules of the Brackenfold intro ("intro": its own few
   effects, no envelopes); and MOD modules (ProTracker's "M.K." and the other 31-sample
   signatures, 6 to 32 channels as PC trackers write them, Digital Tracker's, SoundTracker 2.6's
   and Ice Tracker's layouts, 15-sample SoundTracker modules), by
   ProTracker's rules ("pt", the default for MOD: Amiga panning, see bft_set_separation) or as
   FastTracker 2 loads them ("ft2"); and S3M modules (Scream Tracker 3's format, and what
   Impulse Tracker, ModPlug Tracker, OpenMPT and Schism Tracker write in it), by Scream Tracker
   3's rules ("st3", the default for S3M; AdLib instruments are not synthesised: their channels
   are silent, and bft_format says so); and IT modules (Impulse Tracker's format, samples only or
   with instruments, plain or compressed samples, and what OpenMPT, ModPlug Tracker and Schism
   Tracker write in it), by Impulse Tracker's rules ("it", the default for IT: new-note actions,
   the three envelopes, the resonant filter and the MIDI macros; surround plays as centre).

   Limits: at most 32 channels in XM, MOD and S3M, 64 in IT (the channel mask has room for 64),
   256 patterns of at most 1024 rows (256 by the intro's rules, 64 in MOD and S3M), 128
   instruments of 32 samples (16 by the intro's rules; MOD: 31 of one; S3M: 255 of one; IT: 255
   instruments over 4000 samples, or 255 samples alone), images up to 1 GB;
   output rates from 8000 to 192000 Hz. One pass of a song ends where it comes back to a row it
   has played in the same state of its pattern loops (a loop that never ends: at its first
   repeat), at most 20 minutes.

   Threads: any number of songs at once, each its own state; one song's calls must not overlap
   (call it from one thread at a time), different songs may be used on different threads.
   Nothing here prints or touches a device. Bad bytes give NULL and a reason, never a crash.

   MIT licence: Copyright (c) 2026 The Brackenfold developers; the full text is in LICENSE. */
#ifndef BRACKENFOLD_TRACKER_H
#define BRACKENFOLD_TRACKER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(BFT_SHARED)
#if defined(BFT_BUILDING)
#define BFT_API __declspec(dllexport)
#else
#define BFT_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && !defined(_WIN32)
#define BFT_API __attribute__((visibility("default")))
#else
#define BFT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct bft_module bft_module;

/* The library's version, "MAJOR.MINOR.PATCH". */
BFT_API const char* bft_version(void);

/* Loads a module from size bytes at data (read during the call only), to be rendered at rate
   frames a second by the named rules: "ft2" (XM, MOD), "intro" (XM only), "pt" (MOD only),
   "st3" (S3M only) or "it" (IT only), NULL for the format's own ("ft2" for XM, "pt" for MOD,
   "st3" for S3M, "it" for IT). NULL
   when it cannot be played, with a one-line reason (no line end) in error, cut to error_size bytes with its
   terminating zero; error may be NULL. */
BFT_API bft_module* bft_load(const void* data, size_t size, int rate, const char* rules, char* error,
                                size_t error_size);
/* Frees the module and everything it holds; NULL is allowed. */
BFT_API void bft_free(bft_module* module);

/* Renders up to count frames of interleaved stereo (left, right) into frames, which holds
   2 * count values. Returns the frames written: fewer than count at the end of one pass, 0 after
   it; with the loop on, always count. The mix beyond full scale is clipped (bft_clipped). */
BFT_API size_t bft_render(bft_module* module, int16_t* frames, size_t count);
/* The same as floats, full scale 1.0, unclipped: the mix bft_render rounds to 16 bits, divided by
   32768. The two may be called in turn; each continues where the other stopped. */
BFT_API size_t bft_render_float(bft_module* module, float* frames, size_t count);

/* The module's title and the tracker that wrote it, as printable text (code page pictures and
   control codes as spaces, padding removed), "" when none; valid until bft_free. */
BFT_API const char* bft_title(const bft_module* module);
BFT_API const char* bft_tracker(const bft_module* module);
/* The format, as "XM 1.04", "MOD M.K.", "MOD 15 samples", "S3M", "S3M, 2 AdLib channels
   silent (not synthesised)" or "IT 2.14"; and the rules it plays by, "ft2", "intro", "pt", "st3"
   or "it". */
BFT_API const char* bft_format(const bft_module* module);
BFT_API const char* bft_rules(const bft_module* module);
BFT_API int bft_channels(const bft_module* module);
/* Entries of the order list, the song's length. */
BFT_API int bft_orders(const bft_module* module);
BFT_API int bft_rate(const bft_module* module);
/* One pass's length in frames from the song's start (at most 20 minutes' worth). */
BFT_API int64_t bft_pass_frames(const bft_module* module);

/* The order position and row (both from 0) of the next frame bft_render gives. */
BFT_API void bft_position(const bft_module* module, int* order, int* row);
/* Frames rendered since the load, seeks not counted back. */
BFT_API int64_t bft_frames_rendered(const bft_module* module);
/* Goes on at row 0 of the given order position from the next frame; one pass is then counted
   from there (the orders before it count as played). Returns 0, or -1 for an order outside the
   song (nothing changes). */
BFT_API int bft_seek_order(bft_module* module, int order);
/* With the loop on (not 0) the song goes round for ever, as its own restart position says;
   off (the default) rendering ends where one pass does. */
BFT_API void bft_set_loop(bft_module* module, int loop);
/* The channels mixed, bit c for channel c (from 0); all by default. Takes effect from the next
   block the player renders (at most 20 ms later). */
BFT_API void bft_set_channel_mask(bft_module* module, uint64_t mask);
/* Gain on the mix in decibels, from -48 to 48 (0 by default); outside that range -1 and nothing
   changes, else 0. */
BFT_API int bft_set_gain(bft_module* module, double decibels);
/* How far apart a MOD's Amiga panning (channels left, right, right, left, ...) puts the two
   sides, in percent from 0 (mono) to 100 (hard left and right, as the Amiga plays them); 50 by
   default, as openmpt123 (its --stereo 100) and xmp play MOD files. XM modules pan as their own
   settings say and are not changed. Returns 0, or -1 outside that range (nothing changes); heard
   from the next block the player renders. */
BFT_API int bft_set_separation(bft_module* module, int percent);
/* Samples (left and right each count) rendered so far whose value lay beyond 16-bit full scale
   after the gain, and so were clipped in bft_render's output. */
BFT_API uint64_t bft_clipped(const bft_module* module);

/* ---- Formats and rule sets, without a module. ---- */

/* The format whose first bytes these are: "XM", "MOD", "S3M" or "IT", NULL for none the library
   reads. Nothing is loaded or allocated; size bytes at data are read during the call only. The
   first 1468 bytes are enough for every format (MOD's signature lies at 1080, SoundTracker 2.6's
   and Ice Tracker's at 1464; fewer may not recognise a MOD) but one: a 15-sample SoundTracker
   module has no signature and is told by its sizes, which need the whole image. A recognised
   start does not promise the rest loads (bft_load says why: a module a packer rewrote is
   recognised as a MOD and refused by the packer's name). */
BFT_API const char* bft_probe(const void* data, size_t size);
/* The formats read and the rule sets played, by index from 0: "XM", "MOD", "S3M", "IT"; "ft2",
   "pt", "st3", "it", "intro". NULL for an index outside the list; the texts are static. */
BFT_API int bft_format_count(void);
BFT_API const char* bft_format_name(int index);
BFT_API int bft_rules_count(void);
BFT_API const char* bft_rules_name(int index);

/* ---- Seeking, repeats, timing. ---- */

/* Goes on at the given time of the song (seconds from its start, along its first pass) from
   the next frame: the next frame rendered is the one a render from the load gives at that time
   (rounded to the nearest frame), the song played silently up to it from the nearest order start
   already passed. The first seek past anything yet played plays the song up to there (about as
   long as bft_render takes for it); the order starts it passes are kept, so that every later seek
   plays at most one order silently. Returns 0, or -1 for a time below 0 or past one pass
   (nothing changes). The repeat count (bft_set_repeat) is kept. */
BFT_API int bft_seek_time(bft_module* module, double seconds);
/* The same at a frame of the first pass, from 0 to bft_pass_frames. */
BFT_API int bft_seek_frame(bft_module* module, int64_t frame);
/* Goes on at that order position and row (from 0), where the song's first pass plays it first,
   to the frame as bft_seek_frame does. Returns 0, or -1 where the first pass never plays it
   (a row outside the pattern, an order skipped) and nothing changes; bft_seek_order goes to any
   order. */
BFT_API int bft_seek_row(bft_module* module, int order, int row);
/* The time (seconds) and frame of the first pass where that order and row begin; -1 where the
   pass never plays them. */
BFT_API double bft_time_of(const bft_module* module, int order, int row);
BFT_API int64_t bft_frame_of(const bft_module* module, int order, int row);
/* One pass's length in seconds (bft_pass_frames / rate). */
BFT_API double bft_duration(const bft_module* module);
/* The song plays count more passes after the one under way, then ends: 0 (the default) ends
   with this pass, -1 plays for ever (as bft_set_loop on). A pass after the first goes on from
   where the song comes back round, without a gap or a frame twice: the frames are those of a
   render with the loop on, cut at the end of the last pass. Below -1: -1 returned, nothing
   changes; else 0. Set after the end, the song goes on from where it stopped. */
BFT_API int bft_set_repeat(bft_module* module, int count);

/* ---- Names and the song's structure. ---- */

/* Instruments and samples (XM's and IT's instruments hold samples; MOD and S3M have samples
   only, and as many instruments, one per sample), and their names as printable text (see
   bft_title), by index from 0; "" outside the list, valid until bft_free. */
BFT_API int bft_instruments(const bft_module* module);
BFT_API const char* bft_instrument_name(const bft_module* module, int index);
BFT_API int bft_samples(const bft_module* module);
BFT_API const char* bft_sample_name(const bft_module* module, int index);
/* The song's message (IT's), lines ending in "\n", control codes as spaces; "" where the file
   has none. Valid until bft_free. */
BFT_API const char* bft_message(const bft_module* module);
/* The patterns (numbered from 0) and the rows of one: 0 for a number outside the song. */
BFT_API int bft_patterns(const bft_module* module);
BFT_API int bft_pattern_rows(const bft_module* module, int pattern);
/* The pattern an order position plays; -1 for a marker that the song steps over (S3M, IT: 254),
   -2 for the end mark (255), -3 outside the order list (bft_orders entries). */
BFT_API int bft_order_pattern(const bft_module* module, int order);

/* One cell of a pattern, the same for every format:
   note: 0 none, 1 to 120 C-0 to B-9 (49 is C-4), BFT_NOTE_OFF, BFT_NOTE_CUT, BFT_NOTE_FADE;
   instrument: 0 none, else from 1;
   volume_command: one of BFT_VOLUME_*, with volume_value its value (volume and panning 0 to 64,
     the slides and vibrato their 0 to 15, a tone portamento its speed as the format stores it);
   effect: the command's letter or digit as the format's tracker shows it ('0' to '9', 'A' to
     'Z'; XM and MOD number theirs 0 to F and go on in letters, S3M and IT name them A to Z), 0
     for none; parameter: its byte. */
enum {
  BFT_NOTE_OFF = 255,
  BFT_NOTE_CUT = 254,
  BFT_NOTE_FADE = 253
};
enum {
  BFT_VOLUME_NONE,
  BFT_VOLUME_SET,
  BFT_VOLUME_SLIDE_UP,
  BFT_VOLUME_SLIDE_DOWN,
  BFT_VOLUME_FINE_UP,
  BFT_VOLUME_FINE_DOWN,
  BFT_VOLUME_VIBRATO_SPEED,
  BFT_VOLUME_VIBRATO_DEPTH,
  BFT_VOLUME_PANNING,
  BFT_VOLUME_PANNING_SLIDE_LEFT,
  BFT_VOLUME_PANNING_SLIDE_RIGHT,
  BFT_VOLUME_TONE_PORTAMENTO,
  BFT_VOLUME_PITCH_UP,
  BFT_VOLUME_PITCH_DOWN
};
typedef struct bft_cell {
  uint8_t note, instrument, volume_command, volume_value;
  char effect;
  uint8_t parameter;
} bft_cell;
/* Fills cell with that pattern's row and channel (all from 0). Returns 0, or -1 for a place
   outside the song (cell untouched). */
BFT_API int bft_pattern_cell(const bft_module* module, int pattern, int row, int channel, bft_cell* cell);
/* The same cell as its tracker's pattern editor shows it, into text (size bytes with the
   terminating zero, cut to fit): "C-4 01 40 A0F" for XM (volume column as FastTracker 2 shows
   it), "C-4 01 C20" for MOD, "C-4 01 32 A0F" for S3M, "C-4 01 v64 A0F" for IT; empty fields as
   "...", "--" or "000" as each tracker does. Returns the text's full length (at most 15), or -1
   for a place outside the song (text untouched). */
BFT_API int bft_pattern_cell_text(const bft_module* module, int pattern, int row, int channel, char* text,
                                  size_t size);

/* ---- For displays and meters. ---- */

/* A channel's state as of the block (20 ms) holding the last frame rendered:
   level_left, level_right: the peak of what the channel added to each side of the mix in that
     block, full scale 1.0, after the gain (a muted channel's as if heard);
   note (as in bft_cell, 0 none) and instrument (from 1, 0 none): the last the channel's pattern
     column gave, held until another;
   volume: the loudest of the channel's voices, 0 to 1 of full level as mixed (its volume,
     envelopes and global volume together);
   panning: -1 left to 1 right, of that voice;
   voices: the mixer's voices sounding for it, its notes left behind by new notes included.
   Voices left behind count to the channel that played them, in level and voices. */
typedef struct bft_channel_state {
  float level_left, level_right;
  int note, instrument;
  float volume, panning;
  int voices;
} bft_channel_state;
/* Returns 0, or -1 for a channel outside the song (state untouched). Before any render: silence.
   The levels are measured from the first call on (measuring costs the mixer time, so a module
   never asked does not pay it): that call's are 0; call it once before rendering to have them all. */
BFT_API int bft_get_channel_state(const bft_module* module, int channel, bft_channel_state* state);

/* ---- Mute, solo, interpolation. ---- */

/* A muted channel is not heard; while one or more are soloed, only the soloed are. Both keep
   the channel playing unheard (its voices move on, so unmuting brings it back in step); both
   work beside bft_set_channel_mask (a channel heard must pass both). Returns 0, or -1 for a
   channel outside 0 to 63; heard from the next block the player renders. */
BFT_API int bft_set_mute(bft_module* module, int channel, int muted);
BFT_API int bft_set_solo(bft_module* module, int channel, int soloed);

/* How the mixer reads between a sample's frames: the frame before (nearest), a straight line
   between two (linear, the default, as every earlier version), a cubic through four (Catmull-Rom),
   or a windowed sinc of 8 frames (Blackman-windowed, cut off at the Nyquist frequency). The
   intro's rules keep their own linear mix: any other mode is refused for them. Returns 0, or -1
   for another mode or refused (nothing changes); heard from the next block rendered. */
enum {
  BFT_INTERPOLATION_NEAREST,
  BFT_INTERPOLATION_LINEAR,
  BFT_INTERPOLATION_CUBIC,
  BFT_INTERPOLATION_SINC8
};
BFT_API int bft_set_interpolation(bft_module* module, int mode);
BFT_API int bft_interpolation(const bft_module* module);

#ifdef __cplusplus
}
#endif

#endif
