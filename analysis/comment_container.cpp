#include "analysis/comment_container.h"

#include <algorithm>
#include <cstring>

#include "analysis/regrow.h"

namespace {
std::string_view effective(std::string_view text) {
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  return text.substr(0, std::min(text.size(), TTextPool::MAX_TEXT));
}
}  // namespace

TCommentContainer::TCommentContainer() {
  entries_.reserve(INITIAL_CAPACITY);
  capacity_ = INITIAL_CAPACITY;
}

uint32_t TCommentContainer::search(uint32_t address, bool& found) const {
  found = false;
  if (entries_.empty()) return 0;
  int64_t low = 0, high = int64_t(entries_.size()) - 1;
  while (low < high) {
    int64_t middle = (low + high) / 2;
    uint32_t k = entries_[middle].address;
    if (k >= address) {
      if (k <= address) {
        found = true;
        return static_cast<uint32_t>(middle);
      }
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  // low is a valid index here: it only grows to middle + 1 <= high.
  uint32_t k = entries_[low].address;
  if (k == address) {
    found = true;
    return static_cast<uint32_t>(low);
  }
  return static_cast<uint32_t>(k < address ? low + 1 : low);
}

void TCommentContainer::growIfFull() {
  if (entries_.size() < capacity_) return;
  capacity_ += DELTA;
  entries_.reserve(capacity_);
}

void TCommentContainer::insertAt(uint32_t index, uint32_t address, std::string_view text) {
  growIfFull();
  TTextRef ref = pool_.store(text);
  entries_.insert(entries_.begin() + index, Entry{address, ref});
  changes_.fetch_add(1, std::memory_order_release);
}

uint32_t TCommentContainer::add(uint32_t address, std::string_view rawText, int mode) {
  const std::string_view text = effective(rawText);
  if (text.empty()) return 0;
  std::lock_guard lock(mutex_);
  bool found;
  uint32_t index = search(address, found);
  if (!found) {
    insertAt(index, address, text);
    return 0;
  }
  Entry& e = entries_[index];
  if (text == pool_.text(e.text)) return 0;
  switch (mode) {
    case REPLACE_ASK: return index + 1;
    case REPLACE_ALWAYS:
      pool_.release(e.text);
      e.text = pool_.store(text);
      return 0;
    default: return 0;
  }
}

void TCommentContainer::append(uint32_t address, std::string_view rawText) {
  const std::string_view text = effective(rawText);
  if (text.empty()) return;
  std::lock_guard lock(mutex_);
  if (entries_.empty() || entries_.back().address < address) {
    insertAt(static_cast<uint32_t>(entries_.size()), address, text);
    return;
  }
  bool found;
  uint32_t index = search(address, found);
  if (!found) {
    insertAt(index, address, text);
  } else if (text != pool_.text(entries_[index].text)) {
    pool_.release(entries_[index].text);
    entries_[index].text = pool_.store(text);
  }
}

void TCommentContainer::remove(uint32_t index) {
  std::lock_guard lock(mutex_);
  if (index >= entries_.size()) return;
  pool_.release(entries_[index].text);
  entries_.erase(entries_.begin() + index);
  changes_.fetch_add(1, std::memory_order_release);
}

uint32_t TCommentContainer::find(uint32_t address) const {
  std::lock_guard lock(mutex_);
  bool found;
  uint32_t index = search(address, found);
  return found ? index : NOT_FOUND;
}

std::optional<std::string> TCommentContainer::lookup(uint32_t address) const {
  std::lock_guard lock(mutex_);
  bool found;
  uint32_t index = search(address, found);
  if (!found) return std::nullopt;
  return std::string(pool_.text(entries_[index].text));
}

bool TCommentContainer::lookup(uint32_t address, char* out, size_t cap) const {
  std::lock_guard lock(mutex_);
  bool found;
  uint32_t index = search(address, found);
  if (cap == 0) return found;
  out[0] = 0;
  if (!found) return false;
  const char* text = pool_.text(entries_[index].text);
  size_t n = std::min(std::strlen(text), cap - 1);
  std::memcpy(out, text, n);
  out[n] = 0;
  return true;
}

bool TCommentContainer::nextNamed(uint32_t address, uint32_t& next) const {
  std::lock_guard lock(mutex_);
  bool found;
  const uint32_t index = search(address, found);
  if (index >= entries_.size()) return false;
  next = entries_[index].address;
  return true;
}

std::optional<TComment> TCommentContainer::entryAt(uint32_t index) const {
  std::lock_guard lock(mutex_);
  if (index >= entries_.size()) return std::nullopt;
  return TComment{entries_[index].address, pool_.text(entries_[index].text)};
}

std::vector<TComment> TCommentContainer::snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<TComment> out;
  out.reserve(entries_.size());
  for (const Entry& e : entries_) out.push_back(TComment{e.address, pool_.text(e.text)});
  return out;
}

bool TCommentContainer::reserve(uint32_t n) {
  std::lock_guard lock(mutex_);
  const uint32_t count = static_cast<uint32_t>(entries_.size());
  if (n < count) n = count + DELTA;
  if (!regrow(entries_, n, count)) return false;
  capacity_ = n;
  return true;
}

void TCommentContainer::clear() {
  std::lock_guard lock(mutex_);
  std::vector<Entry> fresh;
  fresh.reserve(INITIAL_CAPACITY);
  entries_.swap(fresh);
  capacity_ = INITIAL_CAPACITY;
  pool_.clear();
  changes_.fetch_add(1, std::memory_order_release);
}

uint32_t TCommentContainer::count() const {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(entries_.size());
}

uint32_t TCommentContainer::capacity() const {
  std::lock_guard lock(mutex_);
  return capacity_;
}
