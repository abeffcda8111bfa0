#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

// Where a difference shows first: the order position and row.
struct Where {
  int order = 0, row = 0;
};

// Asked of every candidate a reduction makes: whether the difference is still there, and where.
template <class Module>
using StillDiffersIn = std::function<bool(const Module&, Where&)>;

// What the reducers of every format share: the module as reduced so far, the question asked of
// each candidate, and where the difference showed last.
template <class Module>
class Reduction {
 protected:
  Reduction(Module module, const StillDiffersIn<Module>& test) : m_(std::move(module)), test_(test) {}

  // Keeps the candidate when the difference stays in it.
  bool tryThis(const Module& candidate) {
    Where where;
    if (!test_(candidate, where)) return false;
    m_ = candidate;
    where_ = where;
    return true;
  }

  // Clears many items at once while it can (halves, quarters... of those left), as delta
  // debugging does, then one at a time. `clear(module, item)` clears one item in a candidate.
  template <class Item, class Clear>
  bool clearInChunks(std::vector<Item> items, Clear clear) {
    bool changed = false;
    size_t chunks = 2;
    while (!items.empty()) {
      const size_t size = (items.size() + chunks - 1) / chunks;
      bool removed = false;
      for (size_t start = 0; start < items.size(); start += size) {
        Module c = m_;
        const size_t end = std::min(items.size(), start + size);
        for (size_t k = start; k < end; ++k) clear(c, items[k]);
        if (tryThis(c)) {
          items.erase(items.begin() + static_cast<long>(start), items.begin() + static_cast<long>(end));
          removed = changed = true;
          break;
        }
      }
      if (removed) {
        chunks = std::max<size_t>(2, chunks - 1);
        continue;
      }
      if (size == 1) break;
      chunks = std::min(items.size(), chunks * 2);
    }
    return changed;
  }

  // Each order alone, from the last, while one is left; `fix` mends what named the orders.
  template <class Fix>
  bool dropOrders(Fix fix) {
    bool changed = false;
    for (size_t i = m_.orders.size(); i-- > 0 && m_.orders.size() > 1;) {
      Module c = m_;
      c.orders.erase(c.orders.begin() + static_cast<long>(i));
      fix(c);
      changed |= tryThis(c);
    }
    return changed;
  }

  Module m_;
  const StillDiffersIn<Module>& test_;
  Where where_;
};
