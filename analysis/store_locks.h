// Lock flags of the four reference stores. A set flag means a worker is
// filling that store: readers on other threads leave it alone until the flag
// is cleared. Setting and clearing publish the store's contents (release /
// acquire), so a reader that sees the flag clear also sees the filled store.
#pragma once
#include <array>
#include <atomic>

class Host;

enum class TRefStoreKind { JumpCall = 0, Import = 1, String = 2, Menu = 3 };

class TStoreLocks {
 public:
  void lock(TRefStoreKind kind) { flag(kind).store(true, std::memory_order_release); }
  void unlock(TRefStoreKind kind) { flag(kind).store(false, std::memory_order_release); }
  bool isLocked(TRefStoreKind kind) const {
    return flags_[static_cast<int>(kind)].load(std::memory_order_acquire);
  }
  void unlockAll();

  // Before a new scan: one "... is still locked!!!" message (caption "Error:")
  // for every flag still set, in the order jump/call, import, string, menu.
  // The flags are left as they are; the scan clears and refills regardless.
  // Returns the number of messages shown.
  int reportStillLocked(Host& host) const;

  static const char* stillLockedText(TRefStoreKind kind);

 private:
  std::atomic<bool>& flag(TRefStoreKind kind) { return flags_[static_cast<int>(kind)]; }

  std::array<std::atomic<bool>, 4> flags_{};
};
