#include "image/section_index.h"

#include <algorithm>

void TSectionIndex::clear() {
  starts_.clear();
  owners_.clear();
}

void TSectionIndex::build(const std::vector<TRange>& ranges) {
  clear();
  std::vector<uint64_t> bounds;
  bounds.reserve(2 * ranges.size());
  for (const TRange& r : ranges) {
    if (r.start >= r.end) continue;
    bounds.push_back(r.start);
    bounds.push_back(r.end);
  }
  if (bounds.empty()) return;
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

  // Ranges claim the pieces between the bounds in table order; a piece keeps
  // its first owner. next[k] leads past pieces already claimed, so every
  // piece is claimed once and the whole build stays n log n.
  const size_t pieces = bounds.size();
  std::vector<uint32_t> owner(pieces, NONE);
  std::vector<uint32_t> next(pieces + 1);
  for (size_t k = 0; k <= pieces; ++k) next[k] = uint32_t(k);
  auto unclaimed = [&](uint32_t k) {
    uint32_t root = k;
    while (next[root] != root) root = next[root];
    while (next[k] != root) {
      const uint32_t up = next[k];
      next[k] = root;
      k = up;
    }
    return root;
  };
  auto position = [&](uint64_t v) {
    return uint32_t(std::lower_bound(bounds.begin(), bounds.end(), v) - bounds.begin());
  };
  for (uint32_t i = 0; i < ranges.size(); ++i) {
    const TRange& r = ranges[i];
    if (r.start >= r.end) continue;
    const uint32_t last = position(r.end);
    for (uint32_t k = unclaimed(position(r.start)); k < last; k = unclaimed(k + 1)) {
      owner[k] = i;
      next[k] = k + 1;
    }
  }

  // Neighbouring pieces of one owner become one.
  for (size_t k = 0; k < pieces; ++k) {
    if (!owners_.empty() && owners_.back() == owner[k]) continue;
    starts_.push_back(bounds[k]);
    owners_.push_back(owner[k]);
  }
}
