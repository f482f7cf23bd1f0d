// Which section of a table holds a value, found in logarithmic time instead
// of by walking the table: files may claim up to 65535 sections, and the
// listing and the scanner look a section up for every line and instruction.
// When sections overlap, the first one in table order holds the value, as a
// walk of the table would find it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

class TSectionIndex {
 public:
  static constexpr uint32_t NONE = 0xFFFFFFFFu;

  // One section's range [start, end); an empty range holds nothing.
  struct TRange {
    uint64_t start;
    uint64_t end;
  };

  // Replaces the index with one over ranges, given in table order.
  void build(const std::vector<TRange>& ranges);
  void clear();

  // Table index of the first range holding value, or NONE. Allocates nothing.
  // pieceEnd, when given, receives the end of the stretch around value that
  // has this same answer.
  // Inline: the tracer asks for every memory access.
  uint32_t find(uint32_t value, uint64_t* pieceEnd = nullptr) const {
    const size_t after = pieceAfter(value);
    if (pieceEnd) *pieceEnd = after == starts_.size() ? UINT64_MAX : starts_[after];
    return after == 0 ? NONE : owners_[after - 1];
  }

 private:
  // Consecutive pieces of the number line: piece k is [starts_[k],
  // starts_[k + 1]) and belongs to section owners_[k] (NONE for a gap); the
  // last piece is always a gap that runs to the end.
  std::vector<uint64_t> starts_;
  std::vector<uint32_t> owners_;

  // The first piece that starts after value. Most files have a handful of
  // sections, whose pieces are quicker to walk than to bisect.
  size_t pieceAfter(uint32_t value) const {
    if (starts_.size() <= 16) {
      size_t k = 0;
      while (k < starts_.size() && starts_[k] <= value) ++k;
      return k;
    }
    return size_t(std::upper_bound(starts_.begin(), starts_.end(), uint64_t(value)) -
                  starts_.begin());
  }
};
