#include "image/undo_record.h"

#include <algorithm>

void TUndoRecord::recordChange(uint32_t offset, const uint8_t* oldBytes, uint32_t count) {
  const int64_t n = count;
  if (n < kCapacity) {
    if (undoPosition_ + n >= kCapacity) {
      std::copy(entries_.begin() + n, entries_.end(), entries_.begin());
      undoPosition_ -= static_cast<int>(n);
      savedPosition_ -= static_cast<int>(n);
    }
  } else {
    // Only the last 500 bytes of the change fit; earlier changes are lost too.
    undoPosition_ = static_cast<int>(kCapacity - n);
    savedPosition_ = static_cast<int>(savedPosition_ - n);
  }
  // Skip the bytes that cannot be recorded instead of counting through them.
  uint32_t first = 0;
  if (undoPosition_ < 0) {
    first = static_cast<uint32_t>(-undoPosition_);
    undoPosition_ = 0;
  }
  for (uint32_t i = first; i < count; ++i)
    entries_[undoPosition_++] = TUndoEntry{offset + i, oldBytes[i]};
  redoLimit_ = undoPosition_;
}
