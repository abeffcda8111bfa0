// bfrender: renders XM, S3M, IT or MOD modules to WAV (16-bit or float), FLAC or raw frames
// through the player's own block fill, offline and deterministic, by the rules of the tracker that wrote it (FastTracker 2's,
// ProTracker's) or others: the whole mix, some of its channels, or one file per channel (stems);
// --info prints the module's structure.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "brackenfold/tracker.h"
#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "Programs/ProgressLine.h"
#include "players/ChannelList.h"
#include "players/PlayerOptions.h"
#include "players/LoadDamage.h"
#include "players/ModuleFacts.h"
#include "players/SoundFiles.h"
#include "Programs/KeepFiles.h"
#include "Platform/Folders.h"
#include "Platform/MappedFile.h"
#include "SoundLib/xmplay/formats/Formats.h"
#include "SoundLib/xmplay/formats/S3MReader.h"
#include "SoundLib/xmplay/rules/it/ITRules.h"
#include "SoundLib/xmplay/engine/OfflineRenderer.h"
#include "SoundLib/xmplay/api/LibraryInternal.h"

namespace {
const char kSynopsis[] =
    "usage: bfrender IN OUT [options]        render one pass to OUT.wav, OUT.flac or OUT.raw\n"
    "                                   (- : WAV on standard output)\n"
    "       bfrender IN... --output-dir DIR [--format wav|flac|raw] [options]\n"
    "                                   each module to DIR, under its name with the format's extension\n"
    "       bfrender IN --stems DIR [options]\n"
    "                                   one WAV per channel, DIR/01-channel.wav ..., and DIR/mix.wav\n"
    "       bfrender --info IN... [--rules ft2|pt|st3|it|intro]\n"
    "                                   the module's title, tracker, structure, duration, instruments\n";
const char kOptionsHeading[] = "options, before or after the files (--opt=value too; -- ends them):\n";
const char kExitStatus[] =
    "exit status:\n"
    "  0  written (--info: printed)\n"
    "  2  a bad option or value, a file that cannot be read or written or that is not written\n"
    "     over without --force, a module it cannot play (with several, the others are still done)\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "bfrender: %s\n", message.c_str());
  return 2;
}

// What the player is asked to render: the module's bytes and how to play them.
struct Render {
  const MappedFile& image;
  const char* rules;  // none: the format's own
  int32_t rate;
  int64_t frames;
  double gain;  // dB
  long separation;  // percent
  bool floats;  // 32-bit float WAV
  SoundTags tags;
  int64_t startFrames;  // rendered and left out before the first frame written
  int32_t startOrder;   // -1, or an order one pass never comes to: the render goes there first
};

// A module loaded through the library, freed on every way out.
struct Module {
  Module(const MappedFile& image, const char* rules, int32_t rate)
      : m(bft_load(image.data(), image.size(), rate, rules, why, sizeof why)) {}
  ~Module() { bft_free(m); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  // Before m: members start in this order, and the load writes its reason here.
  char why[128] = "";
  bft_module* m;
};

// Renders the frames of the song from where the module stands (its start, freshly loaded),
// mixing the channels of the mask, into the writer; says how far it has come after every
// stretch, and how many samples it clipped at the end. False where the file could not be
// written (errno says why).
bool renderTo(SoundWriter& out, bft_module* m, const Render& r, uint64_t mask,
              const std::function<void(int64_t)>& progress, uint64_t& clipped) {
  bft_set_loop(m, 1);
  bft_set_channel_mask(m, mask);
  bft_set_gain(m, r.gain);
  bft_set_separation(m, static_cast<int>(r.separation));
  // Large stretches: the writer sends each to the file in one call (the room is not cleared first:
  // the render fills it).
  const int64_t stretch = std::clamp<int64_t>(std::max(r.frames, r.startFrames), 1, 65536);
  const bool floats = out.takesFloats();
  if (r.startOrder >= 0) bft_seek_order(m, r.startOrder);
  // The song up to --start is played as it would be heard, so that what follows sounds as it
  // does there; its frames are dropped.
  if (r.startFrames > 0) {
    std::unique_ptr<int16_t[]> dropped(new int16_t[2 * static_cast<size_t>(stretch)]);
    for (int64_t done = 0; done < r.startFrames;)
      done += static_cast<int64_t>(
          bft_render(m, dropped.get(), static_cast<size_t>(std::min(stretch, r.startFrames - done))));
  }
  std::unique_ptr<int16_t[]> frames(floats ? nullptr : new int16_t[2 * static_cast<size_t>(stretch)]);
  std::unique_ptr<float[]> values(floats ? new float[2 * static_cast<size_t>(stretch)] : nullptr);
  bool written = true;
  for (int64_t done = 0; done < r.frames && written;) {
    const size_t want = static_cast<size_t>(std::min(stretch, r.frames - done));
    const size_t n = floats ? bft_render_float(m, values.get(), want) : bft_render(m, frames.get(), want);
    written = floats ? out.writeFloats(values.get(), static_cast<int64_t>(n)) : out.write(frames.get(), static_cast<int64_t>(n));
    done += static_cast<int64_t>(n);
    progress(done);
  }
  // Float samples keep what lies beyond full scale.
  clipped = floats ? 0 : bft_clipped(m);
  return written;
}

// The progress line of a render, timed from its start.
class RenderProgress {
 public:
  explicit RenderProgress(bool quiet) : line_(stderr, !quiet && ProgressLine::onTerminal(stderr)) {}
  void update(const std::string& done, double share) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    line_.update("bfrender: " + done, share, elapsed.count());
  }
  void finish() { line_.finish(); }

 private:
  ProgressLine line_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// m:ss.t, or m:ss.hh with hundredths.
std::string minutesAndSeconds(int64_t frames, int32_t rate, bool hundredths = false) {
  const int64_t scale = hundredths ? 100 : 10;
  const int64_t parts = (frames * scale + rate / 2) / rate;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%0*lld", static_cast<long long>(parts / (60 * scale)),
                static_cast<long long>(parts / scale % 60), hundredths ? 2 : 1, static_cast<long long>(parts % scale));
  return text;
}

// IT's flags in words, and the song's message, line by line.
void printITSettings(const Song& song) {
  std::string words = song.headerFlags & it::kInstruments ? "instruments" : "samples only";
  words += song.headerFlags & it::kLinearSlides ? ", linear slides" : ", Amiga slides";
  if (song.headerFlags & it::kOldEffects) words += ", old effects";
  if (song.headerFlags & it::kCompatibleGxx) words += ", compatible Gxx";
  if (song.macros.embedded) words += ", MIDI macros embedded";
  std::printf("header flags: 0x%04x (%s)\n", song.headerFlags, words.c_str());
  std::printf("pan separation: %d of 128\n", song.panSeparation);
  if (song.message.empty()) return;
  std::printf("message:\n");
  size_t from = 0;
  while (from <= song.message.size()) {
    const size_t end = std::min(song.message.find('\n', from), song.message.size());
    std::printf("  %s\n", printableName(song.message.data() + from, end - from).c_str());
    from = end + 1;
  }
}

// The header's settings that XM and MOD do not have: volumes, stereo, the channels' pans and
// S3M's flags.
void printHeaderSettings(const Song& song) {
  std::printf("volume: global %d, master %d, %s\n", song.defaultGlobalVolume, song.mixVolume,
              song.stereo ? "stereo" : "mono");
  std::printf("channel pans (0 left to 256 right):");
  for (int c = 0; c < song.channelCount; ++c) {
    if (song.channels[c].muted)
      std::printf(" off");
    else
      std::printf(" %d", song.channels[c].panning);
  }
  std::printf("\n");
  if (!std::strcmp(song.format->name, "IT")) {
    printITSettings(song);
    return;
  }
  if (std::strcmp(song.format->name, "S3M")) return;
  std::string words;
  if (song.headerFlags & s3m::kAmigaLimits) words += ", Amiga limits";
  if (song.headerFlags & s3m::kFastVolumeSlides) words += ", fast volume slides";
  std::printf("header flags: 0x%04x%s%s%s\n", song.headerFlags, words.empty() ? "" : " (",
              words.empty() ? "" : words.c_str() + 2, words.empty() ? "" : ")");
}

void printSample(const Song& song, int k, const Sample& s) {
  std::printf("  sample %d: ", k);
  if (s.adlib) {
    std::printf("AdLib, not synthesised (silent)\n");
    return;
  }
  std::printf("length %u, loop %s", s.length, loopName(s.loopMode));
  if (s.loopMode != kLoopNone) std::printf(", loop start %u, loop length %u", s.loopStart, s.loopLength);
  if (hasSustainLoop(s))
    std::printf(", sustain loop %s from %u, length %u", loopName(s.sustainMode), s.sustainStart, s.sustainLength);
  std::printf(", bits %d%s, volume %d", s.storedBits, s.stereo ? " stereo" : "", s.volume);
  if (pcTrackerSong(song))
    std::printf(", C frequency %u\n", s.c5Speed);
  else
    std::printf(", finetune %d, relative note %d\n", s.finetune, s.relativeNote);
}

// ", 24 empty slots left out" where there are any.
std::string emptyNote(int empty) {
  if (!empty) return "";
  return " (" + std::to_string(empty) + " empty slot" + (empty == 1 ? "" : "s") + " left out)";
}

// IT's instruments (where the song has them) with what their notes do, then every sample: the
// keyboards map notes to the song's samples rather than to an instrument's own.
void printITInstruments(const Song& song) {
  static const char* const kActions[] = {"cut", "continue", "note off", "fade"};
  if (song.headerFlags & it::kInstruments) {
    std::printf("instruments: %d\n", song.instrumentCount);
    for (int i = 0; i < song.instrumentCount; ++i) {
      const Instrument& ins = song.instruments[i];
      std::printf("instrument %d: \"%s\", new note %s, fadeout %u, global volume %d%s%s%s\n", i + 1,
                  printableName(ins.name, sizeof ins.name).c_str(), kActions[static_cast<int>(ins.newNoteAction) & 3],
                  ins.fadeout, ins.globalVolume, ins.volume.flags & kEnvelopeOn ? ", volume envelope" : "",
                  ins.panning.flags & kEnvelopeOn ? ", panning envelope" : "",
                  ins.pitch.flags & kEnvelopeOn ? (ins.pitch.flags & kEnvelopeFilter ? ", filter envelope" : ", pitch envelope") : "");
    }
  } else {
    std::printf("instruments: none (samples only)\n");
  }
  int empty = 0;
  for (int k = 0; k < song.sampleCount; ++k) empty += blankSample(*song.samples[k]);
  std::printf("samples: %d%s\n", song.sampleCount, emptyNote(empty).c_str());
  for (int k = 0; k < song.sampleCount; ++k)
    if (!blankSample(*song.samples[k])) printSample(song, k + 1, *song.samples[k]);
}

// The song's structure; the duration is one pass at 44100 Hz.
void printInfo(const Song& song, const OfflineRenderer::PassEnd& pass) {
  std::printf("title: %s\n", printableName(song.title, sizeof song.title).c_str());
  std::printf("tracker: %s\n", trackerShown(song).c_str());
  std::printf("format: %s, played by the %s rules\n", formatName(song).c_str(), song.rules->title);
  std::printf("channels: %d\n", song.channelCount);
  std::printf("song length: %d\n", song.songLength);
  std::printf("restart position: %d\n", song.restartPosition);
  std::printf("patterns: %d in file, %d used, %d allocated\n", song.filePatternCount, song.usedPatternCount,
              song.allocatedPatternCount);
  if (pcTrackerSong(song))
    printHeaderSettings(song);
  else
    std::printf("frequencies: %s\n", linearTable(song) ? "linear" : "amiga");
  std::printf("speed: %d, bpm: %d\n", song.defaultSpeed, song.defaultBPM);
  const int64_t frames = pass.frames(44100);
  // A pattern loop that never ends is played on for ever by the tracker: one pass is everything
  // up to its first repeat.
  char endless[96] = "";
  if (pass.endlessLoop)
    std::snprintf(endless, sizeof endless, ", then a pattern loop that never ends, from order %d row %d", pass.order,
                  pass.row);
  std::printf("duration: %s (one pass%s%s)\n", minutesAndSeconds(frames, 44100, true).c_str(),
              pass.frame < 0 ? ", cut at 20 minutes" : "", endless);
  if (!std::strcmp(song.format->name, "IT")) {
    printITInstruments(song);
    return;
  }
  int empty = 0;
  for (int i = 0; i < song.instrumentCount; ++i) empty += blankSlot(song.instruments[i]);
  std::printf("instruments: %d%s\n", song.instrumentCount, emptyNote(empty).c_str());
  for (int i = 0; i < song.instrumentCount; ++i) {
    const Instrument& ins = song.instruments[i];
    if (blankSlot(ins)) continue;
    const std::string name = printableName(ins.name, sizeof ins.name);
    std::printf("instrument %d: \"%s\", %d samples, fadeout %u\n", i + 1, name.c_str(), ins.sampleCount,
                ins.fadeout);
    for (int k = 0; k < ins.sampleCount; ++k) printSample(song, k, *ins.samples[k]);
  }
}

bool isStemName(const std::string& name) {
  return name == "mix.wav" || (name.size() == 14 && std::isdigit(static_cast<unsigned char>(name[0])) &&
                               std::isdigit(static_cast<unsigned char>(name[1])) && name.substr(2) == "-channel.wav");
}

std::string clippedNote(uint64_t clipped) {
  return std::to_string(clipped) + " " + kClippedAdvice;
}

// One WAV per channel of the mask and the mix of them all, each the same length. The stems an
// earlier render left in the folder go first, or a module with fewer channels would leave the
// other's beside its own.
int renderStems(const Render& render, const std::string& in, int channels, const std::string& dir, uint64_t mask,
                bool quiet, bool force) {
  std::string why;
  if (!makeFolders(dir, &why)) return fail("--stems: cannot make folder " + dir + ": " + why);
  // What is there under a stem's name is replaced or removed: only where it is a WAV.
  for (const std::string& name : fileNamesIn(dir)) {
    if (!isStemName(name)) continue;
    const std::string refusal = refusalToWrite(dir + "/" + name, {in}, "a WAV file", isWavHead, force);
    if (!refusal.empty()) return fail("--stems: " + refusal);
  }
  std::vector<std::string> files;
  for (int c = 0; c < channels; ++c) {
    char name[32];
    std::snprintf(name, sizeof name, "%02d-channel.wav", c + 1);
    if (mask >> c & 1) files.push_back(name);
  }
  files.push_back("mix.wav");
  int stale = 0;
  for (const std::string& name : fileNamesIn(dir)) {
    if (!isStemName(name)) continue;
    if (!removeFile(dir + "/" + name)) return fail("--stems: cannot remove " + dir + "/" + name + " of an earlier render");
    stale += std::find(files.begin(), files.end(), name) == files.end();
  }
  if (stale && !quiet)
    std::fprintf(stderr, "bfrender: --stems: removed %d file%s of an earlier render from %s\n", stale,
                 stale == 1 ? "" : "s", dir.c_str());

  RenderProgress progress(quiet);
  std::vector<std::string> notes;
  for (size_t k = 0; k < files.size(); ++k) {
    const std::string path = dir + "/" + files[k];
    const uint64_t heard = files[k] == "mix.wav" ? mask : uint64_t{1} << (std::atoi(files[k].c_str()) - 1);
    const auto shown = [&](int64_t done) {
      progress.update(files[k] + ", " + std::to_string(k + 1) + " of " + std::to_string(files.size()) + " files",
                      (static_cast<double>(k) + static_cast<double>(done) / static_cast<double>(render.frames)) /
                          static_cast<double>(files.size()));
    };
    const Module module(render.image, render.rules, render.rate);
    FILE* file = module.m ? std::fopen(path.c_str(), "wb") : nullptr;
    uint64_t clipped = 0;
    std::string failed = module.m ? (file ? "" : cannotWrite(path)) : std::string("the player refused the module: ") + module.why;
    if (file) {
      const auto wav = openSoundWriter(SoundFormat::kWav, render.floats, file, render.rate, render.frames, render.tags);
      if (!renderTo(*wav, module.m, render, heard, shown, clipped) || !wav->finish()) failed = cannotWrite(path);
    }
    if (!failed.empty()) {
      progress.finish();
      return fail(failed);
    }
    if (clipped)
      notes.push_back(path + ": " + clippedNote(clipped) +
                      (files[k] == "mix.wav" ? "; the stems do not sum to the mix where it clipped" : ""));
  }
  progress.finish();
  if (!quiet)
    for (const std::string& note : notes) std::fprintf(stderr, "bfrender: %s\n", note.c_str());
  return 0;
}


// How every module of a run is rendered.
struct Settings {
  const char* rules = nullptr;  // the format's own
  double seconds = 0, gain = 0, start = 0;
  long startOrder = -1;
  long separation = kDefaultSeparation;
  long rate = 44100;
  uint64_t mask = ~uint64_t{0};
  bool maskGiven = false, floats = false, quiet = false, force = false;
};

// IN's name with another extension: "songs/a.xm" as "a.flac".
std::string renamed(const std::string& in, const char* extension) {
  std::string name = in.substr(in.find_last_of("/\\") + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + extension;
}

// One module to one file (- for standard output; none for stems), after every check that can be
// made without rendering.
int renderOne(const std::string& inName, const std::string& output, SoundFormat format, const std::string& stems,
              const Settings& s) {
  const char* in = inName.c_str();
  if (!output.empty() && output != "-") {
    const std::string refusal = refusalToWrite(output, {inName}, soundKind(format), soundKindTest(format), s.force);
    if (!refusal.empty()) return fail(refusal);
  }
  MappedFile image;
  if (!image.open(in)) return fail(cannotRead(in));
  const int32_t r = static_cast<int32_t>(s.rate);
  const Module module(image, s.rules, r);
  if (!module.m) return fail(std::string(in) + ": not a module this player can play: " + module.why);
  const Song* song = &songOf(module.m);
  bool refuse = false;
  const std::string damage = damageMessage(*song, refuse);
  if (refuse) return fail(std::string(in) + ": " + damage);
  if (!damage.empty() && !s.quiet) std::fprintf(stderr, "bfrender: warning: %s: %s\n", in, damage.c_str());
  const std::string silent = silentNote(*song);
  if (!silent.empty() && !s.quiet) std::fprintf(stderr, "bfrender: warning: %s: %s\n", in, silent.c_str());
  if (s.maskGiven) {
    const std::string beyond = channelsBeyond(s.mask, song->channelCount);
    if (!beyond.empty()) return fail(beyond);
  }
  int64_t startFrames = static_cast<int64_t>(std::llround(s.start * static_cast<double>(r)));
  const int64_t pass = bft_pass_frames(module.m);
  // An order one pass comes to starts where the pass comes to it; another is gone to directly,
  // and only for a length given.
  int32_t jumpTo = -1;
  if (s.startOrder >= 0) {
    const std::string order = "--start-order " + std::to_string(s.startOrder);
    if (s.startOrder >= song->songLength)
      return fail(order + ": " + inName + " has " + std::to_string(song->songLength) + " orders (0 to " +
                  std::to_string(song->songLength - 1) + ")");
    startFrames = bft_frame_of(module.m, static_cast<int>(s.startOrder), 0);
    if (startFrames < 0 && s.seconds == 0)
      return fail(order + ": one pass of " + inName + " never comes to it (--seconds S renders S seconds from it)");
    if (startFrames < 0) {
      startFrames = 0;
      jumpTo = static_cast<int32_t>(s.startOrder);
    }
  }
  if (s.seconds == 0 && startFrames >= pass)
    return fail("--start " + minutesAndSeconds(startFrames, r, true) + ": one pass of " + inName + " lasts " +
                minutesAndSeconds(pass, r, true) + " (--seconds S renders on past its end)");
  const int64_t frames =
      s.seconds > 0 ? static_cast<int64_t>(std::llround(s.seconds * static_cast<double>(r))) : pass - startFrames;
  // A song that never comes back round would otherwise fill twenty minutes without a word.
  if (s.seconds == 0 && frames >= int64_t{OfflineRenderer::kMaxPassSeconds} * r && !s.quiet)
    std::fprintf(stderr, "bfrender: warning: %s: one pass does not end within 20 minutes: rendering 20:00 "
                 "(--seconds S for another length)\n", in);
  const Render render{image, s.rules, r, frames, s.gain, s.separation, s.floats,
                      {printableName(song->title, sizeof song->title), trackerShown(*song),
                       std::string("bfrender ") + BRACKENFOLD_VERSION},
                      startFrames, jumpTo};
  if (!stems.empty()) return renderStems(render, inName, song->channelCount, stems, s.mask, s.quiet, s.force);
  const bool toStandardOutput = output == "-";
  // As gzip and cjpeg do: sound data is no text for a terminal.
  if (toStandardOutput && isatty(fileno(stdout))) return fail("standard output is a terminal: redirect it or name a file");
  // Before the file: whether stderr is a terminal is asked of the system, which sets errno.
  RenderProgress progress(s.quiet);
  // libFLAC goes back to the start at the end to write the stream's facts, and reads there.
  FILE* file = toStandardOutput ? stdout : std::fopen(output.c_str(), format == SoundFormat::kFlac ? "w+b" : "wb");
  if (!file) return fail(cannotWrite(output));
  const auto writer = openSoundWriter(format, s.floats, file, r, frames, render.tags);
  if (!writer) return fail(output + ": the FLAC encoder refused " + std::to_string(r) + " Hz");
  const std::string total = minutesAndSeconds(frames, r);
  const auto shown = [&](int64_t done) {
    progress.update(minutesAndSeconds(done, r) + " of " + total + " rendered",
                    static_cast<double>(done) / static_cast<double>(frames));
  };
  uint64_t clipped = 0;
  const bool written = renderTo(*writer, module.m, render, s.mask, shown, clipped) && writer->finish();
  progress.finish();
  if (!written) return fail(cannotWrite(toStandardOutput ? "standard output" : output));
  if (clipped && !s.quiet) std::fprintf(stderr, "bfrender: %s\n", clippedNote(clipped).c_str());
  return 0;
}

int printInfoOf(const std::string& in, const char* rules) {
  MappedFile image;
  if (!image.open(in.c_str())) return fail(cannotRead(in));
  const Module module(image, rules, 44100);
  if (!module.m) return fail(in + ": not a module this player can play: " + module.why);
  const Song* song = &songOf(module.m);
  bool refuse = false;
  const std::string damage = damageMessage(*song, refuse);
  printInfo(*song, passOf(module.m));
  if (!damage.empty()) std::printf("damaged: %s\n", damage.c_str());
  return 0;
}

const char kWritable[] = "the name must end in .wav, .flac or .raw";
}  // namespace

int main(int argc, char** argv) {
  bool info = false;
  std::string output, stems, outputDir, formatName = "wav";
  Settings s;
  Options options(
      "bfrender",
      {Option::flag("--info", 0, info, "print the structure of the modules instead of rendering them"),
       Option::text("--output", 'o', "OUT", "a file name, - for standard output", output,
                    "the file to write, as OUT after IN.xm: OUT.wav, OUT.flac or OUT.raw\n"
                    "(-: WAV on standard output)"),
       Option::text("--output-dir", 0, "DIR", "a folder", outputDir,
                    "render every module named into DIR, each under its own name\n"
                    "with the extension of --format"),
       Option::custom("--format", 0, "wav|flac|raw", "wav, flac or raw",
                      [](const char* v, void* name) {
                        SoundFormat f;
                        *static_cast<std::string*>(name) = v;
                        return soundFormatNamed(v, f);
                      },
                      &formatName, "what --output-dir writes (default wav)"),
       Option::flag("--float", 0, s.floats, "WAV of 32-bit float samples (they keep what lies beyond full scale)"),
       Option::flag("--force", 'f', s.force,
                    "write over an existing file that is not of the kind written\n"
                    "(never over an input)"),
       Option::text("--stems", 0, "DIR", "a folder", stems,
                    "one WAV per channel and their mix: DIR/01-channel.wav ... DIR/mix.wav\n"
                    "(the stems an earlier render left in DIR are removed first)"),
       Option::number("--seconds", 0, "S", "seconds", 0.001, 3600, false, s.seconds,
                      "render S seconds (0.001 to 3600) instead of one pass of the song"),
       Option::number("--start", 0, "S", "seconds", 0, 3600, false, s.start,
                      "start S seconds (0 to 3600) into the song: the rest of the pass from there"),
       Option::integer("--start-order", 0, "N", "order", 0, 255, s.startOrder,
                       "start at order N (0-based) where one pass comes to it: the rest of the pass"),
       Option::integer("--rate", 'r', "R", "Hz", 8000, 192000, s.rate,
                       "frames per second, 8000 to 192000 (default 44100)"),
       rulesOption(s.rules),
       channelsOption(s.mask),
       separationOption(s.separation),
       gainOption(s.gain),
       Option::flag("--quiet", 'q', s.quiet, "no progress line and no warnings, only errors")});
  if (const int code =
          options.answer(options.parse(argc, argv), std::string(kSynopsis) + kOptionsHeading, kExitStatus, BRACKENFOLD_VERSION);
      code >= 0)
    return code;
  std::vector<std::string> files = options.operands();
  if (files.empty()) {
    std::fputs(kSynopsis, stderr);
    std::fputs("options: bfrender --help\n", stderr);
    return 2;
  }
  s.maskGiven = options.given("--channels");
  if (!options.apart("--start", "--start-order", "one start or the other")) {
    std::fprintf(stderr, "%s\n", options.error().c_str());
    return 2;
  }
  for (const char* renderOnly : {"--seconds", "--start", "--start-order", "--rate", "--channels", "--gain", "--separation", "--float", "--force",
                                 "--format", "--output-dir"}) {
    if (options.apart(renderOnly, "--info", "--info renders nothing")) continue;
    std::fprintf(stderr, "%s\n", options.error().c_str());
    return 2;
  }
  if (info) {
    if (!output.empty() || !stems.empty())
      return fail("--info renders nothing: no " + std::string(stems.empty() ? output : "--stems " + stems) + " with it");
    // Several modules: each under its name, a blank line between them; one that cannot be read is
    // named and the others still printed.
    int code = 0;
    for (size_t k = 0; k < files.size(); ++k) {
      if (files.size() > 1) std::printf("%sfile: %s\n", k ? "\n" : "", files[k].c_str());
      std::fflush(stdout);
      code = std::max(code, printInfoOf(files[k], s.rules));
    }
    return code;
  }
  if (options.given("--format") && outputDir.empty())
    return fail("--format: only with --output-dir (OUT's name picks the format)");

  if (!outputDir.empty()) {
    if (!output.empty() || !stems.empty())
      return fail("--output-dir " + outputDir + " names the files: no " +
                  (stems.empty() ? output : "--stems " + stems) + " with it");
    SoundFormat format = SoundFormat::kWav;
    soundFormatNamed(formatName, format);
    if (s.floats && format != SoundFormat::kWav) return fail("--float: only with WAV (--format wav)");
    if (format == SoundFormat::kFlac && !flacAvailable()) return fail("--format flac: this bfrender was built without libFLAC");
    std::vector<std::string> outs;
    for (const std::string& in : files) {
      outs.push_back(outputDir + "/" + renamed(in, soundExtension(format)));
      for (size_t k = 0; k + 1 < outs.size(); ++k)
        if (outs[k] == outs.back())
          return fail(files[k] + " and " + in + " would both be written to " + outs.back() + ": render them apart");
    }
    std::string why;
    if (!makeFolders(outputDir, &why)) return fail("--output-dir: cannot make folder " + outputDir + ": " + why);
    // A module that cannot be rendered is named, and the others still rendered.
    int code = 0;
    for (size_t k = 0; k < files.size(); ++k) {
      const std::string refusal = [&] {
        for (const std::string& other : files)
          if (sameFile(outs[k], other)) return outs[k] + " is the input " + other + ": name another folder";
        return std::string();
      }();
      code = std::max(code, refusal.empty() ? renderOne(files[k], outs[k], format, "", s) : fail(refusal));
    }
    return code;
  }

  if (files.size() > 2)
    return fail("too many files: " + files[2] + " after IN and OUT (several modules: --output-dir DIR)");
  if (files.size() == 2 && options.given("--output"))
    return fail("two outputs, " + files[1] + " and --output " + output + ": name one");
  if (files.size() == 2) output = files[1];
  if (!output.empty() && !stems.empty()) return fail("write " + output + " or --stems " + stems + ", not both");
  if (output.empty() && stems.empty())
    return fail("nothing to write: name OUT.wav, .flac or .raw (- for standard output), --stems DIR, or --info");
  SoundFormat format = SoundFormat::kWav;
  // A device or a pipe named without an extension (/dev/null) takes a WAV, as standard output does.
  std::error_code ec;
  const bool special = std::filesystem::exists(output, ec) && !std::filesystem::is_regular_file(output, ec);
  if (!output.empty() && output != "-" && !soundFormatOfName(output, format) && !special)
    return fail(output + ": cannot write this format (" + kWritable + "; several modules: --output-dir DIR)");
  if (s.floats && format != SoundFormat::kWav) return fail("--float: only with WAV (OUT.wav)");
  if (format == SoundFormat::kFlac && !flacAvailable())
    return fail(output + ": this bfrender was built without libFLAC (write .wav or .raw)");
  return renderOne(files[0], output, format, stems, s);
}
