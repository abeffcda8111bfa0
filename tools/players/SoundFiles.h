#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The files bfrender writes, picked by the output's name: WAV (16-bit PCM, or 32-bit float),
// FLAC (16-bit, through libFLAC, where the build has it) and raw frames (interleaved 16-bit
// little-endian, no header). The length is known before the first frame, so every header is
// written first and never sought back to: standard output works as well as a file.

enum class SoundFormat { kWav, kFlac, kRaw };

// By the name's extension, in any case: .wav, .flac or .raw; false for any other.
bool soundFormatOfName(const std::string& name, SoundFormat& format);
// By the name --format takes ("wav", "flac", "raw").
bool soundFormatNamed(const std::string& name, SoundFormat& format);
const char* soundExtension(SoundFormat format);  // ".wav"
// The words for what an existing file under that name should be to be written over ("a WAV
// file"), and the test of its first bytes (none for raw frames, which have no header).
const char* soundKind(SoundFormat format);
using SoundHeadTest = bool (*)(const std::string& head);
SoundHeadTest soundKindTest(SoundFormat format);
// Whether this build writes FLAC (it needs libFLAC).
bool flacAvailable();

// The words of a FLAC file's tags.
struct SoundTags {
  std::string title, tracker, encoder;
};

class SoundWriter {
 public:
  virtual ~SoundWriter() = default;
  // Whether the frames it takes are floats (full scale 1.0) rather than 16-bit samples.
  virtual bool takesFloats() const { return false; }
  // count interleaved stereo frames; false once anything failed (errno says why).
  virtual bool write(const int16_t* frames, int64_t count) = 0;
  virtual bool writeFloats(const float* frames, int64_t count) = 0;
  // Closes the file; false where anything failed, or fewer frames came than announced.
  virtual bool finish() = 0;
};

// A writer into a file the caller opened (and the writer closes, finished or not): frames is the
// count to come. floats: 32-bit float samples (WAV only). Null where the format cannot be
// written (FLAC without libFLAC, or its encoder refused the settings).
std::unique_ptr<SoundWriter> openSoundWriter(SoundFormat format, bool floats, FILE* file, int rate, int64_t frames,
                                             const SoundTags& tags);
