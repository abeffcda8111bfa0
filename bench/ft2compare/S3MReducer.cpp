#include "S3MReducer.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {
bool empty(const S3MCell& c) { return c.note < 0 && !c.instrument && c.volume < 0 && !c.command && !c.parameter; }

class Reducer : Reduction<S3MModuleSpec> {
 public:
  Reducer(S3MModuleSpec module, const StillDiffersS3M& test) : Reduction(std::move(module), test) {}

  S3MModuleSpec run() {
    if (!test_(m_, where_)) return m_;
    bool changed = true;
    while (changed) {
      changed = false;
      changed |= cutAfterDifference();
      changed |= dropOrders([](S3MModuleSpec&) {});
      changed |= dropChannels();
      changed |= clearCells();
      changed |= clearFields();
      changed |= simplifySamples();
      changed |= dropSamples();
      changed |= simplifySong();
    }
    return m_;
  }

 private:
  // Nothing after the order where the difference shows can have made it (but a jump back to it).
  bool cutAfterDifference() {
    if (static_cast<size_t>(where_.order) + 1 >= m_.orders.size()) return false;
    S3MModuleSpec c = m_;
    c.orders.resize(static_cast<size_t>(where_.order) + 1);
    return tryThis(c);
  }

  int channels() const {
    int n = 0;
    for (int c = 0; c < 32; ++c)
      if (m_.channelSettings[c] != 255) n = c + 1;
    return n;
  }

  // A channel goes with its cells; the ones after it move down a place, settings and pans too.
  bool dropChannels() {
    bool changed = false;
    for (int k = channels(); k-- > 0 && channels() > 1;) {
      S3MModuleSpec c = m_;
      std::copy(m_.channelSettings + k + 1, m_.channelSettings + 32, c.channelSettings + k);
      std::copy(m_.pans + k + 1, m_.pans + 32, c.pans + k);
      c.channelSettings[31] = 255;
      for (S3MPatternSpec& p : c.patterns)
        for (std::vector<S3MCell>& row : p.rows) {
          row.erase(std::remove_if(row.begin(), row.end(), [k](const S3MCell& x) { return x.channel == k; }), row.end());
          for (S3MCell& x : row)
            if (x.channel > k) --x.channel;
        }
      changed |= tryThis(c);
    }
    return changed;
  }

  struct Place {
    size_t pattern;
    int row;
    size_t index;
  };
  std::vector<Place> places() const {
    std::vector<Place> out;
    for (size_t p = 0; p < m_.patterns.size(); ++p)
      for (int row = 0; row < 64; ++row)
        for (size_t i = 0; i < m_.patterns[p].rows[row].size(); ++i)
          if (!empty(m_.patterns[p].rows[row][i])) out.push_back({p, row, i});
    return out;
  }

  // A cleared cell stays in its row, empty.
  bool clearCells() {
    return clearInChunks(places(), [](S3MModuleSpec& c, const Place& at) {
      S3MCell& x = c.patterns[at.pattern].rows[at.row][at.index];
      x = {x.channel};
    });
  }

  bool clearFields() {
    bool changed = false;
    for (const Place& at : places())
      for (int field = 0; field < 5; ++field) {
        S3MModuleSpec c = m_;
        S3MCell& x = c.patterns[at.pattern].rows[at.row][at.index];
        switch (field) {
          case 0: if (x.note < 0) continue; x.note = -1; break;
          case 1: if (!x.instrument) continue; x.instrument = 0; break;
          case 2: if (x.volume < 0) continue; x.volume = -1; break;
          case 3: if (!x.command && !x.parameter) continue; x.command = x.parameter = 0; break;
          default: if (!x.parameter || !x.command) continue; x.parameter = 0; break;  // the memory instead
        }
        changed |= tryThis(c);
      }
    return changed;
  }

  bool simplifySamples() {
    bool changed = false;
    for (size_t i = 0; i < m_.samples.size(); ++i) {
      using Change = void (*)(S3MSampleSpec&);
      static const Change kChanges[] = {
          [](S3MSampleSpec& s) { s.volume = 64; },
          [](S3MSampleSpec& s) { s.c2spd = 8363; },
          [](S3MSampleSpec& s) { s.sixteenBit = true; },
          // Not for short samples: an unlooped one ends within a tick, which tells nothing.
          [](S3MSampleSpec& s) {
            if (s.data.size() >= 2000) s.loop = false;
          },
          [](S3MSampleSpec& s) {
            if (s.loop && s.loopStart) {
              s.data.erase(s.data.begin(), s.data.begin() + s.loopStart);
              s.loopEnd -= s.loopStart;
              s.loopStart = 0;
            }
          },
      };
      for (Change change : kChanges) {
        S3MModuleSpec c = m_;
        change(c.samples[i]);
        const S3MSampleSpec &now = c.samples[i], &was = m_.samples[i];
        if (now.volume == was.volume && now.c2spd == was.c2spd && now.sixteenBit == was.sixteenBit &&
            now.loop == was.loop && now.data.size() == was.data.size())
          continue;
        changed |= tryThis(c);
      }
    }
    return changed;
  }

  // A sample goes, and the numbers after it move down.
  bool dropSamples() {
    bool changed = false;
    for (size_t i = m_.samples.size(); i-- > 0 && m_.samples.size() > 1;) {
      S3MModuleSpec c = m_;
      c.samples.erase(c.samples.begin() + static_cast<long>(i));
      const int number = static_cast<int>(i) + 1;
      for (S3MPatternSpec& p : c.patterns)
        for (std::vector<S3MCell>& row : p.rows)
          for (S3MCell& x : row)
            if (x.instrument == number)
              x.instrument = 0;
            else if (x.instrument > number)
              --x.instrument;
      changed |= tryThis(c);
    }
    return changed;
  }

  bool simplifySong() {
    using Change = void (*)(S3MModuleSpec&);
    static const Change kChanges[] = {
        [](S3MModuleSpec& m) { m.flags = 0; },
        [](S3MModuleSpec& m) { m.speed = 6; },
        [](S3MModuleSpec& m) { m.globalVolume = 64; },
        [](S3MModuleSpec& m) { m.masterVolume = 0xB0; },
        [](S3MModuleSpec& m) { m.storePans = false; },
    };
    bool changed = false;
    for (Change change : kChanges) {
      S3MModuleSpec c = m_;
      change(c);
      if (c.flags == m_.flags && c.speed == m_.speed && c.globalVolume == m_.globalVolume &&
          c.masterVolume == m_.masterVolume && c.storePans == m_.storePans)
        continue;
      changed |= tryThis(c);
    }
    return changed;
  }

};

// A command's name by the form of its parameter that plays differently.
std::string commandName(const S3MCell& c) {
  const char letter = static_cast<char>('A' + c.command - 1);
  const int x = c.parameter >> 4, y = c.parameter & 15;
  char name[8];
  switch (letter) {
    case 'D':
    case 'K':
    case 'L':
      if (c.parameter == 0) std::snprintf(name, sizeof name, "%c00", letter);
      else if (y == 0) std::snprintf(name, sizeof name, "%cx0", letter);
      else if (x == 0) std::snprintf(name, sizeof name, "%c0y", letter);
      else if (y == 15) std::snprintf(name, sizeof name, "%cxF", letter);
      else if (x == 15) std::snprintf(name, sizeof name, "%cFy", letter);
      else std::snprintf(name, sizeof name, "%cxy", letter);
      break;
    case 'E':
    case 'F':
      if (x >= 14) std::snprintf(name, sizeof name, "%c%Xx", letter, x);
      else std::snprintf(name, sizeof name, "%cxx", letter);
      break;
    case 'S': std::snprintf(name, sizeof name, "S%Xx", x); break;
    default: std::snprintf(name, sizeof name, "%cxx", letter); break;
  }
  return name;
}
}  // namespace

S3MModuleSpec reduceModule(S3MModuleSpec module, const StillDiffersS3M& stillDiffers) {
  return Reducer(std::move(module), stillDiffers).run();
}

std::set<std::string> featuresOf(const S3MModuleSpec& m) {
  std::set<std::string> f;
  if (m.flags & 16) f.insert("Amiga limits");
  if (m.flags & 64) f.insert("fast slides");
  if (!(m.masterVolume & 0x80)) f.insert("mono");
  for (const S3MPatternSpec& p : m.patterns)
    for (const std::vector<S3MCell>& row : p.rows)
      for (const S3MCell& c : row) {
        if (c.note == 254) f.insert("note cut");
        if (c.instrument && c.note < 0) f.insert("instrument alone");
        if (c.volume >= 0) f.insert("volume column");
        if (c.command >= 1 && c.command <= 26) f.insert(commandName(c));
      }
  for (const S3MSampleSpec& s : m.samples) {
    if (s.c2spd != 8363) f.insert("C frequency");
    if (s.loop && s.loopStart) f.insert("loop after attack");
  }
  return f;
}
