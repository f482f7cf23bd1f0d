// The jump/call store: every direct jump and call found in code, as target
// and source file offsets. The scanner appends in bulk without ordering and
// sorts once when it is done; readers find the first record of a target and
// walk forward while the target still matches.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/sorted_array.h"

struct __attribute__((packed)) TJCRef {
  uint32_t target;  // ordered as signed
  uint32_t source;  // ordered as signed
  uint16_t kind;    // the scanner writes 1
};
static_assert(sizeof(TJCRef) == 10, "jump/call records are 10 bytes");

class TJCRefContainer {
 public:
  // The document's store: 500 records to start with, growing by 1000.
  static constexpr uint32_t DOCUMENT_INITIAL_CAPACITY = 500;
  static constexpr uint32_t DOCUMENT_DELTA = 1000;

  TJCRefContainer(uint32_t initialCapacity = DOCUMENT_INITIAL_CAPACITY,
                  uint32_t delta = DOCUMENT_DELTA);

  uint32_t count() const { return count_; }
  uint32_t capacity() const { return capacity_; }
  const TJCRef& operator[](uint32_t i) const { return entries_[i]; }

  // Appends at the end, unsorted; a full array grows by delta records.
  // False only when the memory for the growth cannot be had (nothing added).
  bool append(uint32_t target, uint32_t source, uint16_t kind);
  // Orders by (target, source), both as signed values.
  void sort();
  // Lowest index whose target equals the key, or NOT_FOUND. Needs sorted records.
  uint32_t findFirst(uint32_t target) const;
  // Index outside 0..count-1 is ignored.
  void remove(uint32_t index);
  // Capacity n, or count + delta when n is below count; records kept.
  // False (store unchanged) when that much memory cannot be had.
  bool setCapacity(uint32_t n);
  // Back to the initial capacity with no records.
  void clear();

 private:
  bool reallocate(uint32_t n);

  std::vector<TJCRef> entries_;  // size() == count_, reserved to at least capacity_
  uint32_t initialCapacity_;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t delta_;
};

// Records to allocate before a scan: 6 % of the bytes of the code and execute
// sections. Computed wide and bounded, because the raw sizes come from
// section headers of outside origin and need not fit in 32 bits or in memory.
uint32_t jcCapacityForCode(uint64_t codeBytes);
// Upper bound of jcCapacityForCode (records); the array still grows beyond it.
inline constexpr uint32_t JC_PRESIZE_LIMIT = 0x01000000u;
