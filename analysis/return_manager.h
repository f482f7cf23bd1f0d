// The navigation history: the last 64 places the listing left, in a ring.
// Returning to an entry removes it and every newer one. Used on the
// user-interface thread only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Host;

enum ReturnKind : uint32_t {
  RK_CALL = 0,
  RK_JUMP = 1,
  RK_GOTO = 2,
  RK_SEARCH = 3,
  RK_SECTION = 4,
  RK_IMPORT = 5,
  RK_EXPORT = 6,
  RK_MENU = 7,
  RK_STRING = 8,
  RK_RET = 9,
};

struct ReturnEntry {
  uint32_t kind = 0;
  uint32_t address = 0;  // file offset of the place that was left
  uint32_t hexDump = 0;  // 1 when the listing showed the hex dump
  friend bool operator==(const ReturnEntry&, const ReturnEntry&) = default;
};

// What the history needs from the listing it records.
class TReturnView {
 public:
  virtual ~TReturnView() = default;
  virtual uint32_t currentPosition() const = 0;  // file offset
  virtual bool showsHexDump() const = 0;
  virtual bool showsProgramOffsets() const = 0;
  // The file offset in the address space the listing shows.
  virtual uint32_t shownAddress(uint32_t fileOffset) const = 0;
};

// Result of reading a history body from a project file.
struct THistoryReadResult {
  bool ok = false;
  size_t consumed = 0;  // bytes taken from the body
  // On failure: the count read (0 before any), or the number of entries that
  // were still to come after the one that did not fit.
  int detail = 0;
};

class TReturnManager {
 public:
  static constexpr uint32_t CAPACITY = 64;
  // pushReturn's address meaning "where the view is now".
  static constexpr uint32_t CURRENT_POSITION = 0xFFFFFFFFu;
  // Bytes of one entry in a project file.
  static constexpr size_t ENTRY_BYTES = 12;

  explicit TReturnManager(Host& host, const TReturnView* view = nullptr);

  void setView(const TReturnView* view) { view_ = view; }
  // Called after every change (the tool-bar gadget repaints).
  void setChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  uint32_t count() const { return count_; }
  uint32_t first() const { return first_; }

  void pushReturn(uint32_t kind, uint32_t address = CURRENT_POSITION);
  // Entry i, 0 = oldest. A bad index reports "Index out of bounds!" and gives
  // the oldest slot.
  ReturnEntry getReturn(uint32_t i) const;
  // n counts from the newest (0 = newest): removes that entry and every newer
  // one and returns it. n not below count reports, empties the history and
  // gives the oldest slot.
  ReturnEntry removeReturnsDownto(uint32_t n);
  // Cuts the history back before the newest entry with this address: true
  // when there was one.
  bool popReturnsTo(uint32_t address);
  void clear();

  // "KIND:\t:00401000" (program offsets) or "KIND:\t 00000400" (file offsets).
  void formatEntry(const ReturnEntry& entry, char* text, size_t size) const;
  std::string entryText(uint32_t i) const;
  // The newest entry formatted, "No returns available" when empty; a buffer
  // below 25 bytes reports "String size too small??" and gives "".
  void getLastRetString(char* text, size_t size) const;
  // Every entry formatted, newest first (the drop-down list).
  std::vector<std::string> listLines() const;

  // Project-file body: u8 count, u8 first, count x 12-byte entries.
  std::vector<uint8_t> writeBody() const;
  void writeBody(std::vector<uint8_t>& out) const;
  // Replaces the history with the body's; never reads past `size`.
  THistoryReadResult readBody(const uint8_t* data, size_t size);

 private:
  const ReturnEntry& slotOf(uint32_t i) const { return slots_[(first_ + i) % CAPACITY]; }
  void changed() {
    if (changed_) changed_();
  }

  Host& host_;
  const TReturnView* view_;
  std::function<void()> changed_;
  std::array<ReturnEntry, CAPACITY> slots_{};
  uint8_t count_ = 0;
  uint8_t first_ = 0;
};

// The text of a kind ("CALL" .. "RET"), nullptr for an unknown kind.
const char* returnKindText(uint32_t kind);
