// Base relocation blocks as read from the file, and the lookup of the 32-bit
// relocation that covers a given RVA.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

struct TRelocationBlock {
  uint32_t pageRva;
  uint32_t blockOffset;  // file offset of the 8-byte block header
  uint32_t entryCount;
  std::vector<uint16_t> entries;  // type in bits 12-15, page offset in bits 0-11
};

class TRelocationTable {
 public:
  // Builds the table from the directory at file offset `off` of `size` bytes;
  // the caller has checked that the directory lies inside the buffer.
  void read(const uint8_t* buffer, uint32_t off, uint32_t size);
  void clear();
  bool present() const { return present_; }
  const std::vector<TRelocationBlock>& blocks() const { return blocks_; }

  // 0: not covered, 1: a relocated dword starts here, 2: inside one.
  uint32_t stateAt(uint32_t rva) const;
  // File offset of the covering entry, or 0xFFFFFFFF.
  uint32_t entryOffsetAt(uint32_t rva) const;

  // The block and entry index covering rva; false when none.
  bool find(uint32_t rva, const TRelocationBlock*& block, uint32_t& entryIndex) const;

 private:
  const TRelocationBlock* blockForPage(uint32_t page) const;
  bool present_ = false;
  std::vector<TRelocationBlock> blocks_;
  // (page RVA, block index) sorted, so the first block of a page is found
  // without walking a large table for every listed byte.
  std::vector<std::pair<uint32_t, uint32_t>> pageIndex_;
};
