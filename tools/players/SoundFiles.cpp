#include "players/SoundFiles.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <vector>

#include "Programs/KeepFiles.h"
#include "SoundLib/xmplay/output/WavWriter.h"

#if BRACKENFOLD_FLAC
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#endif

namespace {
void le16(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}
void le32(uint8_t* at, uint32_t v) {
  le16(at, v & 0xFFFF);
  le16(at + 2, v >> 16);
}

// Writes bytes in large pieces straight to the file, counting what was promised.
class RawFile {
 public:
  explicit RawFile(FILE* file) : file_(file) {
    if (file_) std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  ~RawFile() {
    if (file_) std::fclose(file_);
  }
  bool put(const void* data, size_t bytes) {
    ok_ = ok_ && file_ && std::fwrite(data, 1, bytes, file_) == bytes;
    written_ += bytes;
    return ok_;
  }
  bool close(uint64_t expected) {
    if (!file_) return false;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok_ && closed && written_ == expected;
  }

 private:
  FILE* file_;
  bool ok_ = true;
  uint64_t written_ = 0;
};

// Samples as little-endian bytes whatever the machine's order.
template <typename T>
bool putLittleEndian(RawFile& out, const T* values, size_t count, std::vector<uint8_t>& scratch) {
  if constexpr (std::endian::native == std::endian::little) return out.put(values, count * sizeof(T));
  scratch.resize(count * sizeof(T));
  for (size_t i = 0; i < count; ++i) {
    uint32_t v = 0;
    std::memcpy(&v, &values[i], sizeof(T));
    for (size_t b = 0; b < sizeof(T); ++b) scratch[i * sizeof(T) + b] = static_cast<uint8_t>(v >> (8 * b));
  }
  return out.put(scratch.data(), scratch.size());
}

class Wav16 : public SoundWriter {
 public:
  Wav16(FILE* file, int rate, int64_t frames) : wav_(file, rate, frames) {}
  bool write(const int16_t* frames, int64_t count) override { return wav_.write(frames, count); }
  bool writeFloats(const float*, int64_t) override { return false; }
  bool finish() override { return wav_.finish(); }

 private:
  WavWriter wav_;
};

// WAVE_FORMAT_IEEE_FLOAT: a format chunk with its (empty) extension and the fact chunk that
// formats other than PCM carry.
class WavFloat : public SoundWriter {
 public:
  WavFloat(FILE* file, int rate, int64_t frames) : out_(file), frames_(frames) {
    const uint32_t data = static_cast<uint32_t>(frames * 8);
    uint8_t h[58] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    le32(h + 4, 50 + data);
    le32(h + 16, 18);
    le16(h + 20, 3);
    le16(h + 22, 2);
    le32(h + 24, static_cast<uint32_t>(rate));
    le32(h + 28, static_cast<uint32_t>(rate) * 8);
    le16(h + 32, 8);
    le16(h + 34, 32);
    le16(h + 36, 0);
    std::memcpy(h + 38, "fact", 4);
    le32(h + 42, 4);
    le32(h + 46, static_cast<uint32_t>(frames));
    std::memcpy(h + 50, "data", 4);
    le32(h + 54, data);
    out_.put(h, sizeof h);
  }
  bool takesFloats() const override { return true; }
  bool write(const int16_t*, int64_t) override { return false; }
  bool writeFloats(const float* frames, int64_t count) override {
    return putLittleEndian(out_, frames, static_cast<size_t>(count) * 2, scratch_);
  }
  bool finish() override { return out_.close(58 + static_cast<uint64_t>(frames_) * 8); }

 private:
  RawFile out_;
  int64_t frames_;
  std::vector<uint8_t> scratch_;
};

class Raw16 : public SoundWriter {
 public:
  Raw16(FILE* file, int64_t frames) : out_(file), frames_(frames) {}
  bool write(const int16_t* frames, int64_t count) override {
    return putLittleEndian(out_, frames, static_cast<size_t>(count) * 2, scratch_);
  }
  bool writeFloats(const float*, int64_t) override { return false; }
  bool finish() override { return out_.close(static_cast<uint64_t>(frames_) * 4); }

 private:
  RawFile out_;
  int64_t frames_;
  std::vector<uint8_t> scratch_;
};

#if BRACKENFOLD_FLAC
class Flac16 : public SoundWriter {
 public:
  Flac16(FILE* file, int rate, int64_t frames, const SoundTags& tags) : file_(file), frames_(frames) {
    encoder_ = FLAC__stream_encoder_new();
    tags_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (!encoder_ || !tags_ || !file_) return;
    addTag("TITLE", tags.title);
    addTag("TRACKER", tags.tracker);
    addTag("ENCODER", tags.encoder);
    FLAC__stream_encoder_set_channels(encoder_, 2);
    FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
    FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<uint32_t>(rate));
    FLAC__stream_encoder_set_compression_level(encoder_, 5);
    // The streamable subset's frame headers hold rates up to 65535 Hz, or in tens of Hz.
    if (rate > 65535 && rate % 10) FLAC__stream_encoder_set_streamable_subset(encoder_, false);
    FLAC__stream_encoder_set_total_samples_estimate(encoder_, static_cast<FLAC__uint64>(frames));
    FLAC__stream_encoder_set_metadata(encoder_, &tags_, 1);
    // From here the encoder owns the file and closes it when finished.
    ok_ = FLAC__stream_encoder_init_FILE(encoder_, file_, nullptr, nullptr) == FLAC__STREAM_ENCODER_INIT_STATUS_OK;
    if (ok_) file_ = nullptr;
  }
  ~Flac16() override {
    if (encoder_) FLAC__stream_encoder_delete(encoder_);  // finishes (and closes) one still open
    if (tags_) FLAC__metadata_object_delete(tags_);
    if (file_) std::fclose(file_);
  }
  bool ready() const { return ok_; }
  bool write(const int16_t* frames, int64_t count) override {
    widened_.resize(static_cast<size_t>(count) * 2);
    std::copy(frames, frames + count * 2, widened_.begin());
    ok_ = ok_ && FLAC__stream_encoder_process_interleaved(encoder_, widened_.data(), static_cast<uint32_t>(count));
    written_ += count;
    return ok_;
  }
  bool writeFloats(const float*, int64_t) override { return false; }
  bool finish() override {
    if (!encoder_) return false;
    const bool finished = FLAC__stream_encoder_finish(encoder_);
    FLAC__stream_encoder_delete(encoder_);
    encoder_ = nullptr;
    return ok_ && finished && written_ == frames_;
  }

 private:
  void addTag(const char* name, const std::string& value) {
    if (value.empty()) return;
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    if (FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name, value.c_str()))
      FLAC__metadata_object_vorbiscomment_append_comment(tags_, entry, false);
  }

  FILE* file_;
  int64_t frames_;
  int64_t written_ = 0;
  bool ok_ = false;
  FLAC__StreamEncoder* encoder_ = nullptr;
  FLAC__StreamMetadata* tags_ = nullptr;
  std::vector<FLAC__int32> widened_;
};
#endif

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

bool soundFormatNamed(const std::string& name, SoundFormat& format) {
  if (name == "wav") format = SoundFormat::kWav;
  else if (name == "flac") format = SoundFormat::kFlac;
  else if (name == "raw") format = SoundFormat::kRaw;
  else return false;
  return true;
}

bool soundFormatOfName(const std::string& name, SoundFormat& format) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find_first_of("/\\", dot) != std::string::npos) return false;
  return soundFormatNamed(lower(name.substr(dot + 1)), format);
}

const char* soundExtension(SoundFormat format) {
  switch (format) {
    case SoundFormat::kFlac: return ".flac";
    case SoundFormat::kRaw: return ".raw";
    default: return ".wav";
  }
}

const char* soundKind(SoundFormat format) {
  switch (format) {
    case SoundFormat::kFlac: return "a FLAC file";
    case SoundFormat::kRaw: return "raw frames";
    default: return "a WAV file";
  }
}

SoundHeadTest soundKindTest(SoundFormat format) {
  switch (format) {
    case SoundFormat::kWav: return [](const std::string& head) { return isWavHead(head); };
    case SoundFormat::kFlac: return [](const std::string& head) { return head.size() >= 4 && !head.compare(0, 4, "fLaC"); };
    default: return nullptr;
  }
}

bool flacAvailable() { return BRACKENFOLD_FLAC != 0; }

std::unique_ptr<SoundWriter> openSoundWriter(SoundFormat format, bool floats, FILE* file, int rate, int64_t frames,
                                             const SoundTags& tags) {
  switch (format) {
    case SoundFormat::kWav:
      if (floats) return std::make_unique<WavFloat>(file, rate, frames);
      return std::make_unique<Wav16>(file, rate, frames);
    case SoundFormat::kRaw: return std::make_unique<Raw16>(file, frames);
    case SoundFormat::kFlac: {
#if BRACKENFOLD_FLAC
      auto flac = std::make_unique<Flac16>(file, rate, frames, tags);
      if (flac->ready()) return flac;
#else
      (void)tags;
      if (file) std::fclose(file);
#endif
      return nullptr;
    }
  }
  return nullptr;
}
