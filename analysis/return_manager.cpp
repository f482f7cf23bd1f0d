#include "analysis/return_manager.h"

#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"

namespace {
const char* const kKindTexts[] = {"CALL",   "JUMP",   "GOTO", "SEARCH", "SECTION",
                                  "IMPORT", "EXPORT", "MENU", "STRING", "RET"};
}  // namespace

const char* returnKindText(uint32_t kind) {
  return kind < sizeof kKindTexts / sizeof kKindTexts[0] ? kKindTexts[kind] : nullptr;
}

TReturnManager::TReturnManager(Host& host, const TReturnView* view) : host_(host), view_(view) {}

void TReturnManager::pushReturn(uint32_t kind, uint32_t address) {
  if (address == CURRENT_POSITION) address = view_ ? view_->currentPosition() : 0;
  ReturnEntry entry{kind, address, view_ && view_->showsHexDump() ? 1u : 0u};
  if (count_ == CAPACITY) {
    slots_[first_] = entry;
    first_ = static_cast<uint8_t>((first_ + 1) % CAPACITY);
  } else {
    slots_[(first_ + count_) % CAPACITY] = entry;
    ++count_;
  }
  changed();
}

ReturnEntry TReturnManager::getReturn(uint32_t i) const {
  if (i >= CAPACITY || i >= count_) {
    host_.message("Index out of bounds!", "TReturnManager::getReturn()", MsgIcon::Exclamation,
                  MsgButtons::Ok);
    return slots_[first_];
  }
  return slotOf(i);
}

ReturnEntry TReturnManager::removeReturnsDownto(uint32_t n) {
  if (n >= count_) {
    host_.message("Index out of bounds!", "TReturnManager::removeReturnsDownto()",
                  MsgIcon::Exclamation, MsgButtons::Ok);
    count_ = 0;
    changed();
    return slots_[first_];
  }
  const uint32_t index = count_ - 1 - n;
  ReturnEntry entry = slotOf(index);
  count_ = static_cast<uint8_t>(index);
  changed();
  return entry;
}

bool TReturnManager::popReturnsTo(uint32_t address) {
  for (uint32_t i = count_; i-- > 0;) {
    if (slotOf(i).address != address) continue;
    count_ = static_cast<uint8_t>(i);
    changed();
    return true;
  }
  return false;
}

void TReturnManager::clear() {
  count_ = 0;
  changed();
}

void TReturnManager::formatEntry(const ReturnEntry& entry, char* text, size_t size) const {
  const bool program = view_ && view_->showsProgramOffsets();
  const uint32_t shown = view_ ? view_->shownAddress(entry.address) : entry.address;
  const char mark = program ? ':' : ' ';
  if (const char* kind = returnKindText(entry.kind))
    wsFormat(text, size, "%s:\t%c%.8X", kind, mark, shown);
  else
    wsFormat(text, size, "UNKNOWN:\t%c%.8X", mark, shown);
}

std::string TReturnManager::entryText(uint32_t i) const {
  char text[64];
  formatEntry(getReturn(i), text, sizeof text);
  return text;
}

void TReturnManager::getLastRetString(char* text, size_t size) const {
  if (size < 25) {
    host_.message("String size too small??", "TReturnManager::getLastRetString()",
                  MsgIcon::Exclamation, MsgButtons::Ok);
    if (size > 0) text[0] = 0;
    return;
  }
  if (count_ == 0) {
    wsFormat(text, size, "%s", "No returns available");
    return;
  }
  formatEntry(slotOf(count_ - 1u), text, size);
}

std::vector<std::string> TReturnManager::listLines() const {
  std::vector<std::string> lines;
  char text[64];
  for (uint32_t i = count_; i-- > 0;) {
    formatEntry(slotOf(i), text, sizeof text);
    lines.emplace_back(text);
  }
  return lines;
}

std::vector<uint8_t> TReturnManager::writeBody() const {
  std::vector<uint8_t> out;
  writeBody(out);
  return out;
}

void TReturnManager::writeBody(std::vector<uint8_t>& out) const {
  // The body holds slots 0..count-1. A ring that has wrapped and then shrunk
  // keeps its live entries elsewhere, so a partly filled history is written
  // oldest first from slot 0 with first = 0: then those slots are the live
  // entries. A full ring is written as it lies.
  const bool full = count_ == CAPACITY;
  out.push_back(count_);
  out.push_back(full ? first_ : 0);
  for (uint32_t i = 0; i < count_; ++i) {
    const ReturnEntry& e = full ? slots_[i] : slotOf(i);
    uint8_t rec[ENTRY_BYTES];
    writeLe32(rec, e.kind);
    writeLe32(rec + 4, e.address);
    writeLe32(rec + 8, e.hexDump);
    out.insert(out.end(), rec, rec + ENTRY_BYTES);
  }
}

THistoryReadResult TReturnManager::readBody(const uint8_t* data, size_t size) {
  THistoryReadResult result;
  count_ = 0;
  first_ = 0;
  if (size < 2) {
    result.consumed = size;
    result.detail = size == 1 ? data[0] : 0;
    changed();
    return result;
  }
  uint32_t count = data[0];
  uint32_t first = data[1];
  if (count > CAPACITY) count = CAPACITY;
  if (first >= CAPACITY) first = 0;
  // Only a full ring's slots are all written; for a partial one the entries
  // read are the history only when it starts at slot 0.
  if (count < CAPACITY) first = 0;
  result.consumed = 2;

  slots_ = {};
  uint32_t read = 0;
  for (; read < count; ++read) {
    if (size - result.consumed < ENTRY_BYTES) break;
    const uint8_t* rec = data + result.consumed;
    slots_[read] = ReturnEntry{readLe32(rec), readLe32(rec + 4), readLe32(rec + 8)};
    result.consumed += ENTRY_BYTES;
  }
  if (read < count) {
    // Keep the whole entries that were there, as the oldest part of the history.
    count_ = static_cast<uint8_t>(read);
    first_ = 0;
    result.detail = static_cast<int>(count - read - 1);
    changed();
    return result;
  }
  count_ = static_cast<uint8_t>(count);
  first_ = static_cast<uint8_t>(first);
  result.ok = true;
  changed();
  return result;
}
