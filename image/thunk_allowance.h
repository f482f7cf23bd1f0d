// How many thunks a reader of the import directory takes from a whole walk.
//
// A thunk list ends only at a zero value or at the end of its section, so a
// list may run on through the descriptor table, and any number of
// descriptors may point into the same slots: a file of n bytes can describe
// about n * n / 80 thunks, billions for a megabyte. A file whose lists each
// have their own slots holds fewer than n / 4 thunks in all. So every reader
// takes at most n / 4 thunks, plus one for each descriptor whose list it
// walks, counted in descriptor order; a list ends where the allowance is
// spent. Ordinary files and small shared lookup tables never reach it, and
// past it each further descriptor still shows its first thunk.
#pragma once
#include <cstdint>

class TThunkAllowance {
 public:
  explicit TThunkAllowance(uint32_t fileSize) : left_(fileSize / 4) {}

  // A descriptor's list is about to be walked.
  void addDescriptor() { ++left_; }
  // One more non-zero thunk; false when the allowance is spent.
  bool take() {
    if (left_ == 0) return false;
    --left_;
    return true;
  }

 private:
  uint64_t left_;
};
