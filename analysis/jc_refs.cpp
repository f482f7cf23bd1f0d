#include "analysis/jc_refs.h"

#include <algorithm>
#include <utility>

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
    if (grown > 0xFFFFFFFFu) return false;
    // The capacity steps by delta, but the array behind it at least doubles
    // when it can: moving every record once per delta would make a large scan
    // quadratic.
    if (grown > entries_.capacity() &&
        !regrow(entries_, std::max<size_t>(grown, 2 * entries_.capacity()), count_) &&
        !regrow(entries_, grown, count_))
      return false;
    capacity_ = static_cast<uint32_t>(grown);
  }
  entries_.push_back(TJCRef{target, source, kind});
  ++count_;
  return true;
}

void TJCRefContainer::sort() {
  // A scan leaves many records of one kind, where records of the same target
  // and source are alike: those are put in order by a radix sort of the two
  // values, in time linear in their number. Mixed kinds keep the comparison
  // sort, which decides the order of their equal pairs as it always did.
  const uint16_t kind = count_ ? entries_[0].kind : 0;
  const bool oneKind = std::all_of(entries_.begin(), entries_.end(),
                                   [kind](const TJCRef& r) { return r.kind == kind; });
  if (count_ < 1024 || !oneKind) {
    std::sort(entries_.begin(), entries_.end(), [](const TJCRef& a, const TJCRef& b) {
      int32_t at = asSigned(a.target), bt = asSigned(b.target);
      if (at != bt) return at < bt;
      return asSigned(a.source) < asSigned(b.source);
    });
    return;
  }
  // (target, source) as one unsigned key whose order is that of the signed pair.
  std::vector<uint64_t> keys(count_), spare(count_);
  for (uint32_t i = 0; i < count_; ++i)
    keys[i] = uint64_t(entries_[i].target ^ 0x80000000u) << 32 | (entries_[i].source ^ 0x80000000u);
  std::vector<uint32_t> start(65536);
  for (int shift = 0; shift < 64; shift += 16) {
    std::fill(start.begin(), start.end(), 0);
    for (uint64_t k : keys) ++start[(k >> shift) & 0xFFFF];
    if (start[(keys[0] >> shift) & 0xFFFF] == count_) continue;  // one digit: nothing moves
    uint32_t sum = 0;
    for (uint32_t& s : start) sum += std::exchange(s, sum);
    for (uint64_t k : keys) spare[start[(k >> shift) & 0xFFFF]++] = k;
    keys.swap(spare);
  }
  for (uint32_t i = 0; i < count_; ++i)
    entries_[i] = TJCRef{uint32_t(keys[i] >> 32) ^ 0x80000000u, uint32_t(keys[i]) ^ 0x80000000u,
                         kind};
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
