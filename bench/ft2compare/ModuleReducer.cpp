#include "ModuleReducer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
bool empty(const XMNote& n) { return !n.note && !n.instrument && !n.volume && !n.effect && !n.parameter; }

// Makes every pattern's notes vector whole, so cells can be addressed by index.
void normalise(XMModuleSpec& m) {
  for (XMPatternSpec& p : m.patterns) p.notes.resize(static_cast<size_t>(p.rows) * m.channels);
}

class Reducer : Reduction<XMModuleSpec> {
 public:
  Reducer(XMModuleSpec module, const StillDiffers& test) : Reduction(std::move(module), test) { normalise(m_); }

  XMModuleSpec run() {
    if (!test_(m_, where_)) return m_;
    bool changed = true;
    while (changed) {
      changed = false;
      changed |= cutAfterDifference();
      changed |= dropOrders([](XMModuleSpec& c) {
        if (c.restartPosition >= c.orders.size()) c.restartPosition = 0;
      });
      changed |= dropChannels();
      changed |= clearCells();
      changed |= dropRows();
      changed |= clearFields();
      changed |= simplifyInstruments();
      changed |= dropInstruments();
      changed |= simplifySong();
    }
    dropUnusedPatterns();
    return m_;
  }

 private:
  // Nothing after the row where the difference shows can have made it (but a jump back to it).
  bool cutAfterDifference() {
    bool changed = false;
    if (static_cast<size_t>(where_.order) + 1 < m_.orders.size()) {
      XMModuleSpec c = m_;
      c.orders.resize(static_cast<size_t>(where_.order) + 1);
      if (c.restartPosition >= c.orders.size()) c.restartPosition = 0;
      changed |= tryThis(c);
    }
    if (static_cast<size_t>(where_.order) < m_.orders.size()) {
      const uint8_t p = m_.orders[static_cast<size_t>(where_.order)];
      if (p < m_.patterns.size() && where_.row + 1 < m_.patterns[p].rows) {
        XMModuleSpec c = m_;
        c.patterns[p].rows = where_.row + 1;
        c.patterns[p].notes.resize(static_cast<size_t>(c.patterns[p].rows) * c.channels);
        changed |= tryThis(c);
      }
    }
    return changed;
  }

  void dropUnusedPatterns() {
    std::vector<int> renumber(m_.patterns.size(), -1);
    std::vector<XMPatternSpec> kept;
    for (uint8_t o : m_.orders)
      if (o < renumber.size() && renumber[o] < 0) {
        renumber[o] = static_cast<int>(kept.size());
        kept.push_back(m_.patterns[o]);
      }
    XMModuleSpec c = m_;
    for (uint8_t& o : c.orders) o = static_cast<uint8_t>(o < renumber.size() ? renumber[o] : o);
    c.patterns = kept;
    // Jumps name orders, not patterns: nothing else to renumber. Keep it only if it still shows.
    tryThis(c);
  }

  bool dropChannels() {
    bool changed = false;
    for (int k = m_.channels; k-- > 0 && m_.channels > 1;) {
      XMModuleSpec c = m_;
      c.channels = m_.channels - 1;
      for (size_t p = 0; p < c.patterns.size(); ++p) {
        std::vector<XMNote> notes;
        for (int row = 0; row < c.patterns[p].rows; ++row)
          for (int ch = 0; ch < m_.channels; ++ch)
            if (ch != k) notes.push_back(m_.patterns[p].notes[static_cast<size_t>(row) * m_.channels + ch]);
        c.patterns[p].notes = notes;
      }
      changed |= tryThis(c);
    }
    return changed;
  }

  static bool emptyRow(const XMModuleSpec& m, size_t p, int row) {
    for (int ch = 0; ch < m.channels; ++ch)
      if (!empty(m.patterns[p].notes[static_cast<size_t>(row) * m.channels + ch])) return false;
    return true;
  }

  // The empty rows of a pattern all at once (they only set the time between the others), then
  // any row alone.
  bool dropRows() {
    bool changed = false;
    for (size_t p = 0; p < m_.patterns.size(); ++p) {
      XMModuleSpec c = m_;
      std::vector<XMNote> kept;
      int rows = 0;
      for (int row = 0; row < m_.patterns[p].rows; ++row) {
        if (emptyRow(m_, p, row) && row + 1 < m_.patterns[p].rows) continue;
        kept.insert(kept.end(), m_.patterns[p].notes.begin() + static_cast<long>(row) * m_.channels,
                    m_.patterns[p].notes.begin() + static_cast<long>(row + 1) * m_.channels);
        ++rows;
      }
      if (rows < m_.patterns[p].rows) {
        c.patterns[p].rows = rows;
        c.patterns[p].notes = kept;
        changed |= tryThis(c);
      }
      for (int row = m_.patterns[p].rows; row-- > 0 && m_.patterns[p].rows > 1;) {
        XMModuleSpec c = m_;
        auto& notes = c.patterns[p].notes;
        notes.erase(notes.begin() + static_cast<long>(row) * c.channels, notes.begin() + static_cast<long>(row + 1) * c.channels);
        --c.patterns[p].rows;
        changed |= tryThis(c);
      }
    }
    return changed;
  }

  bool clearCells() {
    struct Cell {
      size_t pattern, index;
    };
    std::vector<Cell> cells;
    for (size_t p = 0; p < m_.patterns.size(); ++p)
      for (size_t i = 0; i < m_.patterns[p].notes.size(); ++i)
        if (!empty(m_.patterns[p].notes[i])) cells.push_back({p, i});
    return clearInChunks(cells, [](XMModuleSpec& c, const Cell& at) { c.patterns[at.pattern].notes[at.index] = {}; });
  }

  bool clearFields() {
    bool changed = false;
    for (size_t p = 0; p < m_.patterns.size(); ++p)
      for (size_t i = 0; i < m_.patterns[p].notes.size(); ++i) {
        if (empty(m_.patterns[p].notes[i])) continue;
        for (int field = 0; field < 5; ++field) {
          XMModuleSpec c = m_;
          XMNote& n = c.patterns[p].notes[i];
          switch (field) {
            case 0: if (!n.note) continue; n.note = 0; break;
            case 1: if (!n.instrument) continue; n.instrument = 0; break;
            case 2: if (!n.volume) continue; n.volume = 0; break;
            case 3: if (!n.effect && !n.parameter) continue; n.effect = n.parameter = 0; break;
            default: if (!n.parameter || n.effect == 0) continue; n.parameter = 0; break;  // memory instead
          }
          changed |= tryThis(c);
        }
      }
    return changed;
  }

  bool simplifyInstruments() {
    bool changed = false;
    for (size_t i = 0; i < m_.instruments.size(); ++i) {
      using Change = void (*)(XMInstrumentSpec&);
      static const Change kChanges[] = {
          [](XMInstrumentSpec& s) { s.volumeEnvelope = {}; },
          [](XMInstrumentSpec& s) { s.panningEnvelope = {}; },
          [](XMInstrumentSpec& s) { s.volumeEnvelope.type &= ~2; },
          [](XMInstrumentSpec& s) { s.volumeEnvelope.type &= ~4; },
          [](XMInstrumentSpec& s) { s.panningEnvelope.type &= ~2; },
          [](XMInstrumentSpec& s) { s.panningEnvelope.type &= ~4; },
          [](XMInstrumentSpec& s) { s.vibratoDepth = s.vibratoRate = s.vibratoSweep = s.vibratoType = 0; },
          [](XMInstrumentSpec& s) { s.vibratoSweep = 0; },
          [](XMInstrumentSpec& s) { s.fadeout = 0; },
          [](XMInstrumentSpec& s) {
            if (s.samples.size() > 1) s.samples.resize(1);
            std::fill(std::begin(s.noteToSample), std::end(s.noteToSample), 0);
          },
      };
      for (Change change : kChanges) {
        XMModuleSpec c = m_;
        change(c.instruments[i]);
        if (memcmpInstrument(c.instruments[i], m_.instruments[i])) continue;
        changed |= tryThis(c);
      }
      for (size_t k = 0; k < m_.instruments[i].samples.size(); ++k) {
        using SampleChange = void (*)(XMSampleSpec&);
        static const SampleChange kSampleChanges[] = {
            [](XMSampleSpec& s) { s.finetune = 0; },
            [](XMSampleSpec& s) { s.relativeNote = 0; },
            [](XMSampleSpec& s) { s.panning = 128; },
            [](XMSampleSpec& s) { s.volume = 64; },
            [](XMSampleSpec& s) {
              if (s.loopType & 2) s.loopType = 1;
            },
            // Not for short samples: an unlooped one ends within a tick, which tells nothing.
            [](XMSampleSpec& s) {
              if (s.data.size() >= 2000) s.loopType = 0, s.loopStart = s.loopLength = 0;
            },
            [](XMSampleSpec& s) {
              if (s.loopType && s.loopStart) {
                s.data.erase(s.data.begin(), s.data.begin() + s.loopStart);
                s.loopStart = 0;
              }
            },
        };
        for (SampleChange change : kSampleChanges) {
          XMModuleSpec c = m_;
          XMSampleSpec& s = c.instruments[i].samples[k];
          change(s);
          const XMSampleSpec& was = m_.instruments[i].samples[k];
          if (s.finetune == was.finetune && s.relativeNote == was.relativeNote && s.panning == was.panning &&
              s.volume == was.volume && s.loopType == was.loopType && s.loopStart == was.loopStart &&
              s.data.size() == was.data.size())
            continue;
          changed |= tryThis(c);
        }
      }
    }
    return changed;
  }

  static bool memcmpInstrument(const XMInstrumentSpec& a, const XMInstrumentSpec& b) {
    auto same = [](const XMEnvelopeSpec& x, const XMEnvelopeSpec& y) {
      return x.points.size() == y.points.size() && x.type == y.type;
    };
    return same(a.volumeEnvelope, b.volumeEnvelope) && same(a.panningEnvelope, b.panningEnvelope) &&
           a.vibratoDepth == b.vibratoDepth && a.vibratoSweep == b.vibratoSweep && a.fadeout == b.fadeout &&
           a.samples.size() == b.samples.size() &&
           std::equal(std::begin(a.noteToSample), std::end(a.noteToSample), std::begin(b.noteToSample));
  }

  // An instrument no note names goes, and the numbers after it move down.
  bool dropInstruments() {
    bool changed = false;
    for (size_t i = m_.instruments.size(); i-- > 0 && m_.instruments.size() > 1;) {
      XMModuleSpec c = m_;
      c.instruments.erase(c.instruments.begin() + static_cast<long>(i));
      const int number = static_cast<int>(i) + 1;
      for (XMPatternSpec& p : c.patterns)
        for (XMNote& n : p.notes)
          if (n.instrument == number)
            n.instrument = 0;
          else if (n.instrument > number)
            --n.instrument;
      changed |= tryThis(c);
    }
    return changed;
  }

  bool simplifySong() {
    bool changed = false;
    if (m_.flags != 1) {
      XMModuleSpec c = m_;
      c.flags = 1;
      changed |= tryThis(c);
    }
    if (m_.speed != 6) {
      XMModuleSpec c = m_;
      c.speed = 6;
      changed |= tryThis(c);
    }
    return changed;
  }

};

const char* const kVolumeNames[16] = {"", "vol set", "vol set", "vol set", "vol set", "vol set", "vol 6x slide down",
                                      "vol 7x slide up", "vol 8x fine down", "vol 9x fine up", "vol Ax vibrato speed",
                                      "vol Bx vibrato", "vol Cx panning", "vol Dx pan left", "vol Ex pan right",
                                      "vol Fx tone porta"};
}  // namespace

XMModuleSpec reduceModule(XMModuleSpec module, const StillDiffers& stillDiffers) {
  return Reducer(std::move(module), stillDiffers).run();
}

std::set<std::string> featuresOf(const XMModuleSpec& m) {
  std::set<std::string> f;
  if (!(m.flags & 1)) f.insert("Amiga table");
  for (const XMPatternSpec& p : m.patterns)
    for (const XMNote& n : p.notes) {
      if (n.note == kFileKeyOff) f.insert("key off");
      if (n.instrument && !n.note) f.insert("instrument alone");
      if (n.volume >= 0x10) f.insert(kVolumeNames[n.volume >> 4]);
      if (!n.effect && !n.parameter) continue;
      char name[8];
      if (n.effect == 0xE)
        std::snprintf(name, sizeof name, "E%Xx", n.parameter >> 4);
      else if (n.effect == 33)
        std::snprintf(name, sizeof name, "X%Xx", n.parameter >> 4);
      else if (n.effect < 16)
        std::snprintf(name, sizeof name, "%Xxx", n.effect);
      else
        std::snprintf(name, sizeof name, "%cxx", 'G' + n.effect - 16);
      f.insert(name);
    }
  for (const XMInstrumentSpec& ins : m.instruments) {
    if (ins.volumeEnvelope.type & 1) f.insert("volume envelope");
    if ((ins.volumeEnvelope.type & 3) == 3) f.insert("volume sustain");
    if ((ins.volumeEnvelope.type & 5) == 5) f.insert("volume loop");
    if (ins.panningEnvelope.type & 1) f.insert("panning envelope");
    if (ins.vibratoDepth) f.insert("auto-vibrato");
    if (ins.fadeout) f.insert("fadeout");
    for (const XMSampleSpec& s : ins.samples)
      if (s.loopType & 2) f.insert("ping-pong loop");
  }
  return f;
}
