// The undo record: the last 500 changed bytes with their file offsets.
// Below the undo position an entry holds the byte a change overwrote; once
// undone it holds the byte the change wrote, so redo can put it back. Undo and
// redo both exchange the entry's byte with the buffer's.
#pragma once
#include <array>
#include <cstdint>

struct TUndoEntry {
  uint32_t offset;
  uint8_t byte;
};

class TUndoRecord {
 public:
  static constexpr int kCapacity = 500;

  // Positions; the undo and saved positions go negative after a change too
  // large to record (nothing before it can be undone).
  int undoPosition() const { return undoPosition_; }
  int redoLimit() const { return redoLimit_; }
  int savedPosition() const { return savedPosition_; }

  bool canUndo() const { return undoPosition_ > 0; }
  bool canRedo() const { return undoPosition_ < redoLimit_; }
  // The buffer matches the file on disk as far as the record tells.
  bool atSavedPosition() const { return undoPosition_ == savedPosition_; }

  // Records a change of `count` bytes: `oldBytes` are the bytes it replaces.
  // Makes room first (dropping the oldest entries, or giving up the whole
  // record for 500 bytes or more); afterwards nothing can be redone.
  void recordChange(uint32_t offset, const uint8_t* oldBytes, uint32_t count);

  // One step back or forward: the index of the entry to exchange with the
  // buffer. Only when canUndo() / canRedo().
  int stepBack() { return --undoPosition_; }
  int stepForward() { return undoPosition_++; }

  TUndoEntry& entry(int index) { return entries_[index]; }
  const TUndoEntry& entry(int index) const { return entries_[index]; }

  void markSaved() { savedPosition_ = undoPosition_; }
  // Forgets everything that could be undone or redone.
  void dropHistory() { undoPosition_ = redoLimit_ = 0; }
  void reset() { undoPosition_ = redoLimit_ = savedPosition_ = 0; }

 private:
  std::array<TUndoEntry, kCapacity> entries_{};
  int undoPosition_ = 0;
  int redoLimit_ = 0;
  int savedPosition_ = 0;
};
