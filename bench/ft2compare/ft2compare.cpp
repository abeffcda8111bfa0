// Compares how our rules (each format's own: FastTracker 2's for XM, Scream Tracker 3's for S3M,
// Impulse Tracker's for IT, ProTracker's for MOD) and libopenmpt (a black box, through its public API) play modules, tick
// by tick and channel by channel: the song's position, each channel's level on either side and
// its pitch. Written modules by the thousand (XM: modules/MusicalModule.h, S3M:
// modules/MusicalS3M.h, IT: modules/MusicalIT.h, MOD: modules/MusicalMOD.h), or the files named;
// --delays P writes a pattern delay on P % of the XM's and MOD's rows. A module that differs is reduced to the smallest
// one that still differs the same way, and the findings are grouped by what those smallest
// modules use.
//
//   ft2compare [--format xm|s3m|it|mod] [--delays P] [--count N] [--first SEED] [--jobs J] [--seconds S] [--rate R]
//              [--out DIR] [--no-reduce] [--trace] [FILE ...]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ITReducer.h"
#include "ModuleReducer.h"
#include "S3MReducer.h"
#include "TraceCompare.h"
#include "modules/MusicalIT.h"
#include "modules/MusicalMOD.h"
#include "modules/MusicalModule.h"
#include "modules/MusicalS3M.h"

namespace {
struct Options {
  std::string format = "xm";  // the written modules' format: xm, s3m, it or mod
  int delays = 0;             // percent of rows with a pattern delay (xm, mod)
  int32_t rate = 24000;
  double seconds = 4;
  uint64_t first = 1;
  int count = 0;
  int jobs = 1;
  bool reduce = true;
  bool trace = false;
  std::string out;
  std::vector<std::string> files;
};

void printTrace(const TickTrace& ours, const TickTrace& theirs, double gain) {
  for (size_t t = 0; t < ours.positions.size() && t < theirs.positions.size(); ++t) {
    const TickPosition &a = ours.positions[t], &b = theirs.positions[t];
    std::printf("%5zu %2d/%2d %2d %3d", t, a.order, a.row, a.speed, a.tempo);
    if (!(a == b)) std::printf(" (theirs %d/%d %d %d)", b.order, b.row, b.speed, b.tempo);
    for (size_t c = 0; c < ours.channels.size() && c < theirs.channels.size(); ++c) {
      const ChannelTick &x = ours.channels[c][t], &y = theirs.channels[c][t];
      std::printf(" | %.4f %.4f %7.2f ~ %.4f %.4f %7.2f", x.left, x.right, x.pitch, y.left * gain, y.right * gain, y.pitch);
    }
    std::printf("\n");
  }
}

Comparison compareImage(const std::vector<uint8_t>& image, int32_t rate, double seconds, bool print = false,
                        double gain = 0) {
  const TickTrace ours = traceOurs(image, rate, seconds);
  if (!ours.error.empty()) return {};
  const TickTrace theirs = traceOpenMPT(image, ours.starts, rate);
  const Comparison result = compareTraces(ours, theirs, gain);
  if (print) printTrace(ours, theirs, result.gain);
  return result;
}

std::string describe(const Comparison& r) {
  char text[512];
  std::snprintf(text, sizeof text, "%zu of %zu channel ticks alike, gain %.3f", r.alike, r.channelTicks, r.gain);
  std::string s = text;
  if (r.first.kind != Kind::kNone) {
    std::snprintf(text, sizeof text, "; first %s at tick %zu (order %d row %d) channel %d: %s", kindName(r.first.kind),
                  r.first.tick, r.first.at.order, r.first.at.row, r.first.channel + 1, r.first.detail.c_str());
    s += text;
  }
  return s;
}

// How much louder ours plays a module like this one than the peer: the two players' levels
// depend on the channel count and on what the header says of the tracker, so a module with the
// same header and one centred note at full volume tells, whatever the module's notes do.
double calibratedGain(const XMModuleSpec& like, int32_t rate) {
  XMModuleSpec m = like;
  m.flags = 1;
  m.speed = 6;
  m.bpm = 125;
  m.restartPosition = 0;
  m.orders = {0};
  m.headerOrders = std::min<int>(like.headerOrders, 256);
  m.patterns.assign(1, XMPatternSpec{});
  m.patterns[0].rows = 4;
  m.patterns[0].at(0, 0, m.channels) = {49, 1, 0, 0, 0};
  XMSampleSpec s;
  s.sixteenBit = true;
  for (int i = 0; i < 64; ++i) s.data.push_back(static_cast<int16_t>(16000 * std::sin(i * 6.283185307179586 / 64)));
  s.loopType = 1;
  s.loopLength = 64;
  XMInstrumentSpec ins;
  ins.samples.push_back(s);
  m.instruments.assign(1, ins);
  const std::vector<uint8_t> image = writeXM(m);
  const TickTrace ours = traceOurs(image, rate, 0.2);
  const TickTrace theirs = traceOpenMPT(image, ours.starts, rate);
  if (ours.channels.empty() || theirs.channels.empty() || ours.channels[0].size() < 4) return 0;
  const ChannelTick &a = ours.channels[0][3], &b = theirs.channels[0][3];
  return b.left + b.right > 0 ? (double{a.left} + a.right) / (double{b.left} + b.right) : 0;
}

// A module's header as far as the levels go: its title, tracker, header size and channels.
XMModuleSpec headerOf(const std::vector<uint8_t>& image) {
  XMModuleSpec m;
  if (image.size() < 80) return m;
  m.name.assign(reinterpret_cast<const char*>(image.data()) + 17, 20);
  m.tracker.assign(reinterpret_cast<const char*>(image.data()) + 38, 20);
  const uint32_t size = image[60] | image[61] << 8 | image[62] << 16 | static_cast<uint32_t>(image[63]) << 24;
  m.headerOrders = static_cast<int>(std::clamp<uint32_t>(size, 21, 276) - 20);
  m.channels = std::clamp(image[68] | image[69] << 8, 1, 32);
  return m;
}

// A written MOD: its design, reduced as an XM's is, compared as the MOD modOf writes.
struct WrittenMOD {
  XMModuleSpec design;
};
WrittenMOD reduceModule(const WrittenMOD& m, const StillDiffersIn<WrittenMOD>& stillDiffers) {
  return {reduceModule(m.design, [&](const XMModuleSpec& d, Where& where) { return stillDiffers(WrittenMOD{d}, where); })};
}
std::set<std::string> featuresOf(const WrittenMOD& m) { return featuresOf(m.design); }

// What the comparison needs of a written module, by its format.
std::vector<uint8_t> imageOf(const XMModuleSpec& m) { return writeXM(m); }
std::vector<uint8_t> imageOf(const S3MModuleSpec& m) { return writeS3M(m); }
std::vector<uint8_t> imageOf(const MusicalIT& m) { return writeIT(itOf(m)); }
std::vector<uint8_t> imageOf(const WrittenMOD& m) { return writeMOD(modOf(m.design)); }
double gainOf(const XMModuleSpec& m, int32_t rate) { return calibratedGain(m, rate); }
// S3M plays at openmpt123's own levels: a level apart is a difference too.
double gainOf(const S3MModuleSpec&, int32_t) { return 1; }
// So does Impulse Tracker's own IT.
double gainOf(const MusicalIT&, int32_t) { return 1; }
// A MOD's levels are compared at the median of their ratios.
double gainOf(const WrittenMOD&, int32_t) { return 0; }
int channelsOf(const XMModuleSpec& m) { return m.channels; }
int channelsOf(const S3MModuleSpec& m) {
  int n = 0;
  for (int c = 0; c < 32; ++c)
    if (m.channelSettings[c] != 255) n = c + 1;
  return n;
}
int channelsOf(const MusicalIT& m) { return channelsOf(m.song); }
int channelsOf(const WrittenMOD& m) { return m.design.channels; }
size_t ordersOf(const XMModuleSpec& m) { return m.orders.size(); }
size_t ordersOf(const S3MModuleSpec& m) { return m.orders.size(); }
size_t ordersOf(const MusicalIT& m) { return m.song.orders.size(); }
size_t ordersOf(const WrittenMOD& m) { return m.design.orders.size(); }
size_t usedCells(const XMModuleSpec& m) {
  size_t n = 0;
  for (const XMPatternSpec& p : m.patterns)
    for (const XMNote& x : p.notes) n += (x.note || x.instrument || x.volume || x.effect || x.parameter) ? 1 : 0;
  return n;
}
size_t usedCells(const S3MModuleSpec& m) {
  size_t n = 0;
  for (const S3MPatternSpec& p : m.patterns)
    for (const std::vector<S3MCell>& row : p.rows)
      for (const S3MCell& x : row) n += (x.note >= 0 || x.instrument || x.volume >= 0 || x.command || x.parameter) ? 1 : 0;
  return n;
}

size_t usedCells(const MusicalIT& m) { return usedCells(m.song); }
size_t usedCells(const WrittenMOD& m) { return usedCells(m.design); }

struct Finding {
  uint64_t seed = 0;
  Comparison whole;    // the written module
  Comparison reduced;  // its smallest form
  std::vector<uint8_t> smallest;  // its image
  int channels = 0;
  std::string group;
  size_t cells = 0;
};

template <class Module>
Finding examineModule(uint64_t seed, const Module& module, const Options& o) {
  Finding f;
  f.seed = seed;
  f.whole = compareImage(imageOf(module), o.rate, o.seconds, false, gainOf(module, o.rate));
  if (f.whole.first.kind == Kind::kNone || !o.reduce) return f;
  const Kind kind = f.whole.first.kind;
  // A little past the first difference is enough to see it again; the smaller module's
  // difference may come sooner.
  double seconds = std::min(o.seconds, f.whole.firstSeconds + 0.25);
  const Module smallest = reduceModule(module, [&](const Module& m, Where& where) {
    const Comparison c = compareImage(imageOf(m), o.rate, seconds, false, gainOf(m, o.rate));
    if (std::getenv("FT2COMPARE_VERBOSE"))
      std::fprintf(stderr, "  try %d ch %zu orders %.2f s: %s\n", channelsOf(m), ordersOf(m), seconds, describe(c).c_str());
    if (c.first.kind != kind) return false;
    where = {c.first.at.order, c.first.at.row};
    seconds = std::min(seconds, c.firstSeconds + 0.25);
    return true;
  });
  f.smallest = imageOf(smallest);
  f.channels = channelsOf(smallest);
  f.reduced = compareImage(f.smallest, o.rate, seconds, false, gainOf(smallest, o.rate));
  f.cells = usedCells(smallest);
  std::string group = kindName(kind);
  group += ":";
  for (const std::string& feature : featuresOf(smallest)) group += " " + feature;
  f.group = group;
  return f;
}

XMModuleSpec writtenXM(uint64_t seed, const Options& o) {
  MusicalModuleOptions mo;
  mo.wholeTicksAt = o.rate;
  mo.patternDelays = o.delays;
  return musicalModule(seed, mo);
}

S3MModuleSpec writtenS3M(uint64_t seed, const Options& o) {
  MusicalS3MOptions mo;
  mo.wholeTicksAt = o.rate;
  return musicalS3M(seed, mo);
}

MusicalIT writtenIT(uint64_t seed, const Options& o) {
  MusicalITOptions mo;
  mo.wholeTicksAt = o.rate;
  return musicalIT(seed, mo);
}

WrittenMOD writtenMOD(uint64_t seed, const Options& o) {
  MusicalMODOptions mo;
  mo.wholeTicksAt = o.rate;
  mo.patternDelays = o.delays;
  return {musicalMOD(seed, mo)};
}

Finding examine(uint64_t seed, const Options& o) {
  if (o.format == "mod") return examineModule(seed, writtenMOD(seed, o), o);
  if (o.format == "s3m") return examineModule(seed, writtenS3M(seed, o), o);
  if (o.format == "it") return examineModule(seed, writtenIT(seed, o), o);
  return examineModule(seed, writtenXM(seed, o), o);
}

// A written module's image and the gain it is compared at.
std::pair<std::vector<uint8_t>, double> written(uint64_t seed, const Options& o) {
  if (o.format == "s3m") return {writeS3M(writtenS3M(seed, o)), 1};
  if (o.format == "it") return {imageOf(writtenIT(seed, o)), 1};
  if (o.format == "mod") return {imageOf(writtenMOD(seed, o)), 0};
  return {writeXM(writtenXM(seed, o)), calibratedGain(writtenXM(seed, o), o.rate)};
}

int usage() {
  std::fprintf(stderr,
               "usage: ft2compare [--format xm|s3m|it|mod] [--delays P] [--count N] [--first SEED] [--jobs J] [--seconds S] [--rate R]\n"
               "                  [--out DIR] [--no-reduce] [--trace] [FILE ...]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--format" && hasValue) {
      const std::string format = argv[++i];
      if (format != "xm" && format != "s3m" && format != "it" && format != "mod") return usage();
      o.format = format;
    } else if (a == "--delays" && hasValue) {
      o.delays = std::clamp(std::atoi(argv[++i]), 0, 100);
    } else if (a == "--rate" && hasValue) o.rate = std::atoi(argv[++i]);
    else if (a == "--seconds" && hasValue) o.seconds = std::atof(argv[++i]);
    else if (a == "--first" && hasValue) o.first = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--count" && hasValue) o.count = std::atoi(argv[++i]);
    else if (a == "--jobs" && hasValue) o.jobs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--out" && hasValue) o.out = argv[++i];
    else if (a == "--no-reduce") o.reduce = false;
    else if (a == "--trace") o.trace = true;
    else if (a.rfind("--", 0) == 0) return usage();
    else o.files.push_back(a);
  }
  if (o.rate < 8000 || o.rate > 192000 || o.seconds <= 0) return usage();
  for (const std::string& f : o.files) {
    std::ifstream in(f, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "ft2compare: cannot read %s\n", f.c_str());
      return 2;
    }
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // XM files are calibrated against a sine of the same header; others compared as they play.
    const bool xm = image.size() >= 17 && std::memcmp(image.data(), "Extended Module: ", 17) == 0;
    const double gain = xm ? calibratedGain(headerOf(image), o.rate) : 1;
    std::printf("%s: %s\n", f.c_str(), describe(compareImage(image, o.rate, o.seconds, o.trace, gain)).c_str());
  }
  if (o.count <= 0) return 0;
  if (o.trace) {
    for (int k = 0; k < o.count; ++k) {
      const uint64_t seed = o.first + static_cast<uint64_t>(k);
      const auto [image, gain] = written(seed, o);
      const Comparison c = compareImage(image, o.rate, o.seconds, true, gain);
      std::printf("seed %llu: %s\n", static_cast<unsigned long long>(seed), describe(c).c_str());
    }
    return 0;
  }

  std::vector<Finding> findings(static_cast<size_t>(o.count));
  std::atomic<int> next{0}, done{0};
  std::vector<std::thread> workers;
  for (int j = 0; j < o.jobs; ++j)
    workers.emplace_back([&] {
      for (int k; (k = next++) < o.count;) {
        findings[static_cast<size_t>(k)] = examine(o.first + static_cast<uint64_t>(k), o);
        const int d = ++done;
        if (d % 500 == 0) std::fprintf(stderr, "ft2compare: %d of %d\n", d, o.count);
      }
    });
  for (std::thread& w : workers) w.join();

  size_t channelTicks = 0, alike = 0, alikeModules = 0;
  struct Group {
    int count = 0;
    const Finding* example = nullptr;
  };
  std::map<std::string, Group> groups;
  for (const Finding& f : findings) {
    channelTicks += f.whole.channelTicks;
    alike += f.whole.alike;
    if (f.whole.first.kind == Kind::kNone) {
      ++alikeModules;
      continue;
    }
    std::printf("seed %llu: %s\n", static_cast<unsigned long long>(f.seed), describe(f.whole).c_str());
    if (!o.reduce) continue;
    std::printf("  smallest (%d channels, %zu cells): %s\n  group %s\n", f.channels, f.cells,
                describe(f.reduced).c_str(), f.group.c_str());
    Group& g = groups[f.group];
    ++g.count;
    if (!g.example || f.cells < g.example->cells) g.example = &f;
  }
  std::printf("\n%d modules (seeds %llu to %llu, %.1f s each at %d Hz): %zu alike throughout (%.2f %%); "
              "%.3f %% of %zu channel ticks alike\n",
              o.count, static_cast<unsigned long long>(o.first), static_cast<unsigned long long>(o.first + o.count - 1),
              o.seconds, o.rate, alikeModules, 100.0 * static_cast<double>(alikeModules) / o.count,
              channelTicks ? 100.0 * static_cast<double>(alike) / static_cast<double>(channelTicks) : 0.0, channelTicks);
  if (!o.reduce) return 0;
  std::vector<std::pair<std::string, Group>> sorted(groups.begin(), groups.end());
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second.count > b.second.count; });
  if (!o.out.empty()) std::filesystem::create_directories(o.out);
  std::printf("groups (modules, what the smallest module uses, smallest example):\n");
  int number = 0;
  for (const auto& [name, g] : sorted) {
    ++number;
    std::printf("%5d  %s  (seed %llu, %zu cells)\n", g.count, name.c_str(),
                static_cast<unsigned long long>(g.example->seed), g.example->cells);
    if (!o.out.empty()) {
      const std::vector<uint8_t>& bytes = g.example->smallest;
      std::ofstream(o.out + "/group" + std::to_string(number) + "-seed" + std::to_string(g.example->seed) +
                        "." + o.format,
                    std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
  }
  return 0;
}
