#include "analysis/jc_refs.h"

#include <algorithm>

#include "analysis/regrow.h"

namespace {
int32_t asSigned(uint32_t v) { return static_cast<int32_t>(v); }
}  // namespace

TJCRefContainer::TJCRefContainer(uint32_t initialCapacity, uint32_t delta)
    : initialCapacity_(initialCapacity), delta_(delta) {
  reallocate(initialCapacity);
}

bool TJCRefContainer::reallocate(uint32_t n) {
  if (!regrow(entries_, n, std::min<size_t>(entries_.size(), n))) return false;
  capacity_ = n;
  count_ = static_cast<uint32_t>(entries_.size());
  return true;
}

bool TJCRefContainer::append(uint32_t target, uint32_t source, uint16_t kind) {
  if (count_ >= capacity_) {
    uint64_t grown = uint64_t(capacity_) + std::max<uint32_t>(delta_, 1);
    if (grown > 0xFFFFFFFFu || !reallocate(static_cast<uint32_t>(grown))) return false;
  }
  entries_.push_back(TJCRef{target, source, kind});
  ++count_;
  return true;
}

void TJCRefContainer::sort() {
  std::sort(entries_.begin(), entries_.end(), [](const TJCRef& a, const TJCRef& b) {
    int32_t at = asSigned(a.target), bt = asSigned(b.target);
    if (at != bt) return at < bt;
    return asSigned(a.source) < asSigned(b.source);
  });
}

uint32_t TJCRefContainer::findFirst(uint32_t target) const {
  if (count_ == 0) return NOT_FOUND;
  const int32_t key = asSigned(target);
  int64_t low = 0, high = int64_t(count_) - 1;
  int64_t hit = -1;
  while (low < high) {
    int64_t middle = (low + high) / 2;
    int32_t k = asSigned(entries_[middle].target);
    if (k >= key) {
      if (k <= key) {
        hit = middle;
        break;
      }
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  if (hit < 0) {
    if (low != high || asSigned(entries_[low].target) != key) return NOT_FOUND;
    hit = low;
  }
  while (hit > 0 && asSigned(entries_[hit - 1].target) == key) --hit;
  return static_cast<uint32_t>(hit);
}

void TJCRefContainer::remove(uint32_t index) {
  if (index >= count_) return;
  entries_.erase(entries_.begin() + index);
  --count_;
}

bool TJCRefContainer::setCapacity(uint32_t n) {
  if (n < count_) {
    uint64_t wanted = uint64_t(count_) + delta_;
    n = wanted > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(wanted);
  }
  return reallocate(n);
}

void TJCRefContainer::clear() {
  count_ = 0;
  capacity_ = 0;
  entries_.clear();
  entries_.shrink_to_fit();
  reallocate(initialCapacity_);
}

uint32_t jcCapacityForCode(uint64_t codeBytes) {
  uint64_t records = codeBytes / 100 * 6 + codeBytes % 100 * 6 / 100;
  return records > JC_PRESIZE_LIMIT ? JC_PRESIZE_LIMIT : static_cast<uint32_t>(records);
}
