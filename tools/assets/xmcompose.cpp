// xmcompose: turns a text score into an XM module through the XM writer. The score names the
// song's settings, synthesises each instrument's one 8-bit sample from a few numbers (a looped
// single-cycle wave from its harmonics, or a kick, snare or hi-hat), and writes the patterns as
// tracker rows. resources/music/intro.txt is the intro's score and documents the syntax.
//
// The samples are made without the C library's transcendental functions (their last bits may
// differ between CPUs): an own sine, decays by repeated multiplication, an own noise generator.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "assets/AssetMath.h"
#include "Programs/FileBytes.h"
#include "Programs/Options.h"
#include "modules/XMWriter.h"

namespace {
using namespace asset;

const char kUsage[] = "usage: xmcompose SCORE.txt OUT.xm\n";

struct ScoreError {
  int line;
  std::string message;
};

[[noreturn]] void error(int line, const std::string& message) { throw ScoreError{line, message}; }

// Words of a line, with "quoted text" kept as one word (quotes removed); a word starting with
// '#' starts a comment (inside a word it is a sharp, as in G#4).
std::vector<std::string> words(const std::string& text, int line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      if (end == std::string::npos) error(line, "unclosed quote");
      out.push_back(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      size_t end = i;
      while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r') ++end;
      out.push_back(text.substr(i, end - i));
      i = end;
    }
  }
  return out;
}

long integer(const std::string& word, long low, long high, int line, int base = 10) {
  char* end = nullptr;
  const long v = std::strtol(word.c_str(), &end, base);
  if (word.empty() || *end || v < low || v > high)
    error(line, "'" + word + "' is not a number from " + std::to_string(low) + " to " + std::to_string(high));
  return v;
}

double real(const std::string& word, int line) {
  char* end = nullptr;
  const double v = std::strtod(word.c_str(), &end);
  if (word.empty() || *end) error(line, "'" + word + "' is not a number");
  return v;
}

// key=value parameters of an instrument line.
struct Params {
  std::map<std::string, std::string> values;
  int line = 0;
  bool has(const std::string& key) const { return values.count(key) != 0; }
  double number(const std::string& key, double fallback) const {
    auto it = values.find(key);
    return it == values.end() ? fallback : real(it->second, line);
  }
  std::vector<double> list(const std::string& key) const {
    std::vector<double> out;
    auto it = values.find(key);
    if (it == values.end()) error(line, "missing " + key + "=");
    std::stringstream s(it->second);
    std::string item;
    while (std::getline(s, item, ',')) out.push_back(real(item, line));
    return out;
  }
};

std::vector<int16_t> toBytes(const std::vector<double>& wave, double peak) {
  double top = 0;
  for (double v : wave) top = std::max(top, v < 0 ? -v : v);
  std::vector<int16_t> out(wave.size());
  for (size_t i = 0; i < wave.size(); ++i) {
    const double v = top > 0 ? wave[i] / top * peak * 127 : 0;
    out[i] = static_cast<int16_t>(std::floor(v + 0.5));
  }
  return out;
}

// A single cycle of `cycle` samples: harmonic k (from 1) a sine with the given amplitude, all
// starting at phase 0, so the cycle starts at 0 and its loop joins without a step.
XMSampleSpec wave(const Params& p) {
  const int cycle = static_cast<int>(p.number("cycle", 32));
  if (cycle < 4 || cycle > 4096) error(p.line, "cycle must be 4 to 4096 samples");
  const std::vector<double> harmonics = p.list("harmonics");
  if (2 * harmonics.size() >= static_cast<size_t>(cycle)) error(p.line, "more harmonics than the cycle can hold");
  std::vector<double> w(static_cast<size_t>(cycle), 0);
  for (int i = 0; i < cycle; ++i)
    for (size_t k = 0; k < harmonics.size(); ++k)
      w[i] += harmonics[k] * sinTurns(static_cast<double>((k + 1) * i % cycle) / cycle);
  XMSampleSpec s;
  s.data = toBytes(w, p.number("peak", 1.0));
  s.loopStart = 0;
  s.loopLength = static_cast<uint32_t>(cycle);
  s.loopType = 1;
  return s;
}

// Per-sample factor of a decay that falls to 1/e in `seconds` at `rate` samples per second
// (1 - 1/n is within 1 % of exp(-1/n) for the n used here, and needs no library exp).
double decayFactor(double seconds, double rate) { return 1 - 1 / (seconds * rate); }

// The last samples fall linearly to 0 and the first rise from it, so a drum neither starts nor
// ends on a step even in players without volume ramps.
void softEnds(std::vector<double>& w, int in, int out) {
  const int n = static_cast<int>(w.size());
  for (int i = 0; i < in && i < n; ++i) w[i] *= static_cast<double>(i) / in;
  for (int i = 0; i < out && i < n; ++i) w[n - 1 - i] *= static_cast<double>(i) / out;
}

// A sine whose pitch falls from `start` to `end` Hz, with a short click of noise on top.
XMSampleSpec kick(const Params& p) {
  const double rate = p.number("rate", 8363), length = p.number("length", 0.2);
  const int n = static_cast<int>(rate * length);
  double pitch = 1, amp = 1, phase = 0;
  const double sweep = decayFactor(p.number("sweep", 0.03), rate), decay = decayFactor(p.number("decay", 0.08), rate);
  const double start = p.number("start", 150), end = p.number("end", 45);
  std::vector<double> w(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    w[i] = amp * sinTurns(phase);
    phase += (end + (start - end) * pitch) / rate;
    phase -= std::floor(phase);
    pitch *= sweep;
    amp *= decay;
  }
  softEnds(w, 0, n / 8);
  XMSampleSpec s;
  s.data = toBytes(w, p.number("peak", 1.0));
  return s;
}

// Noise through a one-pole filter (tone > 0: low-pass with that share of the new value; the
// hi-hat uses the difference of two successive values, a high-pass) plus an optional tone body.
XMSampleSpec noiseDrum(const Params& p, bool highPass) {
  const double rate = p.number("rate", 12530), length = p.number("length", 0.12);
  const int n = static_cast<int>(rate * length);
  Random random(static_cast<uint64_t>(p.number("seed", 1)));
  const double decay = decayFactor(p.number("decay", 0.05), rate);
  const double bodyDecay = decayFactor(p.number("bodydecay", 0.03), rate);
  const double body = p.number("body", 0), bodyPitch = p.number("bodypitch", 180);
  const double smoothing = p.number("smoothing", 0.6);
  double amp = 1, bodyAmp = 1, filtered = 0, previous = 0, phase = 0;
  std::vector<double> w(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double white = random.symmetric();
    filtered += (white - filtered) * smoothing;
    const double noise = highPass ? filtered - previous : filtered;
    previous = filtered;
    w[i] = amp * noise + body * bodyAmp * sinTurns(phase);
    phase += bodyPitch / rate;
    phase -= std::floor(phase);
    amp *= decay;
    bodyAmp *= bodyDecay;
  }
  softEnds(w, 8, n / 6);
  XMSampleSpec s;
  s.data = toBytes(w, p.number("peak", 1.0));
  return s;
}

uint8_t noteNumber(const std::string& w, int line) {
  // C-4 style: letter, '-' or '#', octave 0..7. XM note 1 is C-0.
  static const char* names = "C-C#D-D#E-F-F#G-G#A-A#B-";
  if (w.size() != 3) error(line, "bad note '" + w + "'");
  for (int k = 0; k < 12; ++k)
    if (w[0] == names[2 * k] && w[1] == names[2 * k + 1]) {
      const long octave = integer(w.substr(2), 0, 7, line);
      return static_cast<uint8_t>(octave * 12 + k + 1);
    }
  error(line, "bad note '" + w + "'");
}

// Volume column as a tracker shows it: two hex digits 00..40 set the volume; a letter and one
// hex digit give the other commands.
uint8_t volumeByte(const std::string& w, int line) {
  if (w == "..") return 0;
  if (w.size() != 2) error(line, "bad volume column '" + w + "'");
  static const std::string letters = "-+dusvplrm";  // 6x 7x 8x 9x Ax Bx Cx Dx Ex Fx
  const size_t at = letters.find(w[0]);
  if (at != std::string::npos) return static_cast<uint8_t>((0x60 + 0x10 * at) | integer(w.substr(1), 0, 15, line, 16));
  return static_cast<uint8_t>(0x10 + integer(w, 0, 0x40, line, 16));
}

// Effects the intro's player plays: 0 arpeggio, 2 portamento down, 3 tone portamento, 4 vibrato,
// B position jump, K key off.
void effect(const std::string& w, XMNote& note, int line) {
  if (w == "...") return;
  if (w.size() != 3) error(line, "bad effect '" + w + "'");
  static const std::string allowed = "0234BK";
  if (allowed.find(w[0]) == std::string::npos) error(line, "effect " + w.substr(0, 1) + " is not one the player plays");
  note.effect = static_cast<uint8_t>(w[0] <= '9' ? w[0] - '0' : w[0] - 'A' + 10);
  note.parameter = static_cast<uint8_t>(integer(w.substr(1), 0, 255, line, 16));
}

XMModuleSpec parse(const std::string& text) {
  XMModuleSpec m;
  m.orders.clear();
  std::stringstream lines(text);
  std::string raw;
  int line = 0;
  XMPatternSpec* pattern = nullptr;
  std::vector<bool> patternSeen, instrumentSeen;
  int lastRow = -1;
  while (std::getline(lines, raw)) {
    ++line;
    const std::vector<std::string> w = words(raw, line);
    if (w.empty()) continue;
    const std::string& key = w[0];
    auto need = [&](size_t n) {
      if (w.size() != n) error(line, key + " takes " + std::to_string(n - 1) + " value(s)");
    };
    if (key == "title") {
      need(2);
      if (w[1].size() > 20) error(line, "the title holds at most 20 characters");
      m.name = w[1];
    } else if (key == "channels") {
      need(2);
      m.channels = static_cast<int>(integer(w[1], 1, 32, line));
    } else if (key == "speed") {
      need(2);
      m.speed = static_cast<uint16_t>(integer(w[1], 1, 31, line));
    } else if (key == "bpm") {
      need(2);
      m.bpm = static_cast<uint16_t>(integer(w[1], 32, 255, line));
    } else if (key == "restart") {
      need(2);
      m.restartPosition = static_cast<uint16_t>(integer(w[1], 0, 255, line));
    } else if (key == "orders") {
      if (w.size() < 2 || w.size() > 257) error(line, "orders takes 1 to 256 pattern numbers");
      for (size_t i = 1; i < w.size(); ++i) m.orders.push_back(static_cast<uint8_t>(integer(w[i], 0, 255, line)));
    } else if (key == "instrument") {
      // instrument N "name" KIND [key=value ...]; KIND is wave, kick, snare, hat or none.
      if (w.size() < 4) error(line, "instrument N \"name\" KIND [key=value ...]");
      const size_t n = static_cast<size_t>(integer(w[1], 1, 128, line));
      if (w[2].size() > 22) error(line, "an instrument name holds at most 22 characters");
      if (m.instruments.size() < n) m.instruments.resize(n), instrumentSeen.resize(n);
      if (instrumentSeen[n - 1]) error(line, "instrument " + w[1] + " given twice");
      instrumentSeen[n - 1] = true;
      XMInstrumentSpec& ins = m.instruments[n - 1];
      ins.name = w[2];
      Params p;
      p.line = line;
      for (size_t i = 4; i < w.size(); ++i) {
        const size_t eq = w[i].find('=');
        if (eq == std::string::npos) error(line, "expected key=value, got '" + w[i] + "'");
        p.values[w[i].substr(0, eq)] = w[i].substr(eq + 1);
      }
      const std::string& kind = w[3];
      if (kind == "none") continue;
      XMSampleSpec s = kind == "wave"    ? wave(p)
                       : kind == "kick"  ? kick(p)
                       : kind == "snare" ? noiseDrum(p, false)
                       : kind == "hat"   ? noiseDrum(p, true)
                                         : (error(line, "unknown instrument kind " + kind), XMSampleSpec{});
      s.name = w[2];
      s.volume = static_cast<uint8_t>(p.number("volume", 64));
      s.panning = static_cast<uint8_t>(p.number("pan", 128));
      s.relativeNote = static_cast<int8_t>(p.number("relative", 0));
      s.finetune = static_cast<int8_t>(p.number("finetune", 0));
      if (s.volume > 64) error(line, "volume is 0 to 64");
      ins.vibratoType = 0;
      ins.vibratoSweep = static_cast<uint8_t>(p.number("vibsweep", 0));
      ins.vibratoDepth = static_cast<uint8_t>(p.number("vibdepth", 0));
      ins.vibratoRate = static_cast<uint8_t>(p.number("vibrate", 0));
      ins.samples.push_back(s);
    } else if (key == "pattern") {
      // pattern N ["what it is"], then rows "RR | cell | cell ...", each cell NOTE INS VOL EFFECT.
      if (w.size() < 2 || w.size() > 3) error(line, "pattern N [\"description\"]");
      const size_t n = static_cast<size_t>(integer(w[1], 0, 255, line));
      if (m.patterns.size() <= n) m.patterns.resize(n + 1), patternSeen.resize(n + 1);
      if (patternSeen[n]) error(line, "pattern " + w[1] + " given twice");
      patternSeen[n] = true;
      pattern = &m.patterns[n];
      pattern->rows = 64;
      pattern->notes.assign(static_cast<size_t>(64) * m.channels, XMNote{});
      lastRow = -1;
    } else if (key.size() == 2 && key[0] >= '0' && key[0] <= '9') {
      if (!pattern) error(line, "a row outside a pattern");
      const int row = static_cast<int>(integer(key, 0, 63, line));
      if (row <= lastRow) error(line, "rows must come in order, each once");
      lastRow = row;
      // RR | n i v e | n i v e ...
      size_t at = 1;
      for (int ch = 0; ch < m.channels; ++ch) {
        if (at >= w.size() || w[at] != "|") error(line, "expected '|' before channel " + std::to_string(ch + 1));
        if (at + 4 >= w.size()) error(line, "channel " + std::to_string(ch + 1) + " needs note, instrument, volume, effect");
        XMNote& note = pattern->at(row, ch, m.channels);
        const std::string& nt = w[at + 1];
        note.note = nt == "..." ? 0 : nt == "===" ? kFileKeyOff : noteNumber(nt, line);
        note.instrument = w[at + 2] == ".." ? 0 : static_cast<uint8_t>(integer(w[at + 2], 1, 128, line));
        note.volume = volumeByte(w[at + 3], line);
        effect(w[at + 4], note, line);
        at += 5;
      }
      if (at != w.size()) error(line, "more cells than channels");
    } else {
      error(line, "unknown line '" + key + "'");
    }
  }
  if (m.orders.empty()) error(line, "no orders");
  for (size_t i = 0; i < patternSeen.size(); ++i)
    if (!patternSeen[i]) error(line, "pattern " + std::to_string(i) + " is missing");
  for (size_t i = 0; i < instrumentSeen.size(); ++i)
    if (!instrumentSeen[i]) error(line, "instrument " + std::to_string(i + 1) + " is missing");
  for (uint8_t o : m.orders)
    if (o >= m.patterns.size()) error(line, "the orders name pattern " + std::to_string(o) + ", which does not exist");
  return m;
}
}  // namespace

int main(int argc, char** argv) {
  Options options("xmcompose", {});
  if (const int code = options.answer(options.parse(argc, argv), kUsage, BRACKENFOLD_VERSION); code >= 0) return code;
  if (options.operands().size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* in = options.operands()[0].c_str();
  const char* out = options.operands()[1].c_str();
  std::vector<uint8_t> score;
  if (!readFileBytes(in, score)) {
    std::fprintf(stderr, "xmcompose: %s\n", cannotRead(in).c_str());
    return 2;
  }
  XMModuleSpec module;
  try {
    module = parse(std::string(score.begin(), score.end()));
  } catch (const ScoreError& e) {
    std::fprintf(stderr, "xmcompose: %s:%d: %s\n", in, e.line, e.message.c_str());
    return 2;
  }
  const std::vector<uint8_t> image = writeXM(module);
  if (!writeFileBytes(out, image)) {
    std::fprintf(stderr, "xmcompose: %s\n", cannotWrite(out).c_str());
    return 2;
  }
  std::printf("xmcompose: %s: %zu bytes, %zu patterns, %zu instruments\n", out, image.size(),
              module.patterns.size(), module.instruments.size());
  return 0;
}
