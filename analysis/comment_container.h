// The name store: one text (a label or comment) per address, sorted by
// address (unsigned), texts kept in a pooled 64 KB arena. The document owns
// it and hands it to the worker threads that load names; every operation
// takes the names lock, and a lookup copies the text out while holding it.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/sorted_array.h"
#include "analysis/text_pool.h"

// What add does when the address already has another text.
enum ReplaceMode : int {
  REPLACE_ASK = 0,     // change nothing, return index + 1 so the caller can ask
  REPLACE_ALWAYS = 1,  // the new text replaces the old one
  REPLACE_NEVER = 2,   // the old text stays
};

// Transfer record of one name while a project file is written or read.
struct TComment {
  uint32_t address = 0;
  std::string text;
  friend bool operator==(const TComment&, const TComment&) = default;
};

class TCommentContainer {
 public:
  static constexpr uint32_t INITIAL_CAPACITY = 50;
  static constexpr uint32_t DELTA = 100;

  TCommentContainer();
  TCommentContainer(const TCommentContainer&) = delete;
  TCommentContainer& operator=(const TCommentContainer&) = delete;

  // 0 when the text is stored, unchanged or kept; index + 1 of the existing
  // entry when it holds another text and mode is REPLACE_ASK. Texts longer
  // than 254 characters are cut; an empty text is not a name and is ignored.
  uint32_t add(uint32_t address, std::string_view text, int mode);
  // Stores behind the last entry without searching, for names that arrive in
  // ascending order (a project file). An address that is not above the last
  // one is inserted in order instead (a repeated address takes the new text),
  // so a damaged file cannot break the order lookups rely on.
  void append(uint32_t address, std::string_view text);
  // Index outside 0..count-1 is ignored.
  void remove(uint32_t index);
  // Index of the address or NOT_FOUND.
  uint32_t find(uint32_t address) const;
  // A copy of the address's text, taken under the lock.
  std::optional<std::string> lookup(uint32_t address) const;
  // The same into a fixed buffer (cut at cap - 1, always terminated) for
  // callers that must not allocate; false (and "" when cap > 0) when absent.
  bool lookup(uint32_t address, char* out, size_t cap) const;
  // The lowest address at or above address that has a name, into next;
  // false when there is none. Readers that walk addresses upwards ask once
  // and skip the addresses below next while changeCount() stays the same.
  bool nextNamed(uint32_t address, uint32_t& next) const;
  // Grows with every name added or removed.
  uint32_t changeCount() const { return changes_.load(std::memory_order_acquire); }
  // Copy of entry i, or nothing when i is outside the store.
  std::optional<TComment> entryAt(uint32_t index) const;
  // Every entry in address order, copied under one hold of the lock (the
  // project writer's view of a consistent store).
  std::vector<TComment> snapshot() const;
  // Capacity n, or count + delta when n is below count. False (store
  // unchanged) when that much memory cannot be had.
  bool reserve(uint32_t n);
  // No entries, initial capacity, the text pool back to one empty block.
  void clear();

  uint32_t count() const;
  uint32_t capacity() const;

  // Runs f(const TTextPool&) under the lock: inspection for tests.
  template <class F>
  void inspectPool(F&& f) const {
    std::lock_guard lock(mutex_);
    f(pool_);
  }

 private:
  struct Entry {
    uint32_t address;
    TTextRef text;
  };

  // Lowest index whose address is not below the key; `found` tells a hit.
  uint32_t search(uint32_t address, bool& found) const;
  void insertAt(uint32_t index, uint32_t address, std::string_view text);
  void growIfFull();

  mutable std::mutex mutex_;  // the names lock
  std::atomic<uint32_t> changes_{0};
  std::vector<Entry> entries_;
  uint32_t capacity_ = 0;
  TTextPool pool_;
};
