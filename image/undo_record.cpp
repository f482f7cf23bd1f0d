#include "image/undo_record.h"

#include <algorithm>

namespace {
// Far enough below any reachable undo position; keeps huge changes from
// wrapping the saved position back into range.
constexpr int64_t kLowestSavedPosition = -(int64_t(1) << 30);

int lowered(int position, int64_t by) {
  return static_cast<int>(std::max<int64_t>(position - by, kLowestSavedPosition));
}
}  // namespace

void TUndoRecord::recordChange(uint32_t offset, const uint8_t* oldBytes, uint32_t count) {
  const int64_t n = count;
  // A change made after undoing past the saved state makes that state
  // unreachable: the buffer can no longer match the file on disk through
  // undo or redo, however the positions line up later.
  if (savedPosition_ > undoPosition_) savedPosition_ = static_cast<int>(kLowestSavedPosition);
  if (n < kCapacity) {
    if (undoPosition_ + n >= kCapacity) {
      std::copy(entries_.begin() + n, entries_.end(), entries_.begin());
      undoPosition_ -= static_cast<int>(n);
      savedPosition_ = lowered(savedPosition_, n);
    }
  } else {
    // Only the last 500 bytes of the change fit; earlier changes are lost too.
    undoPosition_ = static_cast<int>(kCapacity - n);
    savedPosition_ = lowered(savedPosition_, n);
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
