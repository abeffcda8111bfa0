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
   signatures, 6 to 32 channels as PC trackers write them, 15-sample SoundTracker modules), by
   ProTracker's rules ("pt", the default for MOD: Amiga panning, see bft_set_separation) or as
   FastTracker 2 loads them ("ft2"); and S3M modules (Scream Tracker 3's format, and what
   Impulse Tracker, ModPlug Tracker, OpenMPT and Schism Tracker write in it), by Scream Tracker
   3's rules ("st3", the default for S3M; AdLib instruments are not synthesised: their channels
   are silent, and bft_format says so).

   Limits: at most 32 channels in XM, MOD and S3M (the channel mask has room for 64), 256
   patterns of at most 1024 rows (256 by the intro's rules, 64 in MOD and S3M), 128 instruments
   of 32 samples (16 by the intro's rules; MOD: 31 of one; S3M: 255 of one), images up to 1 GB;
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
   frames a second by the named rules: "ft2" (XM, MOD), "intro" (XM only), "pt" (MOD only) or
   "st3" (S3M only), NULL for the format's own ("ft2" for XM, "pt" for MOD, "st3" for S3M). NULL
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
/* The format, as "XM 1.04", "MOD M.K.", "MOD 15 samples", "S3M" or "S3M, 2 AdLib channels
   silent (not synthesised)"; and the rules it plays by, "ft2", "intro", "pt" or "st3". */
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

#ifdef __cplusplus
}
#endif

#endif
