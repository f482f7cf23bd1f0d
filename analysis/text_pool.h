// The text pool of the name store: 64 KB blocks holding length-prefixed,
// zero-terminated texts. A record is one length byte L (text length + 1,
// 2..255) and L bytes; a record whose first text byte is zero is free and is
// reused for a later text of at most its length. Not thread-safe: the name
// store calls it under its lock.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Where a stored text lives: block index and offset of its first character.
struct TTextRef {
  uint32_t block = 0;
  uint32_t offset = 0;
};

class TTextPool {
 public:
  static constexpr uint32_t BLOCK_SIZE = 65536;
  static constexpr size_t MAX_TEXT = 254;

  TTextPool();

  // Stores the text (cut at its first zero and at 254 characters).
  // The text must not be empty: an empty record would read as free.
  TTextRef store(std::string_view text);
  // Frees a stored text; a record already free is left alone.
  void release(TTextRef ref);
  const char* text(TTextRef ref) const {
    return reinterpret_cast<const char*>(blocks_[ref.block].data.get() + ref.offset);
  }
  // Every block but the first dropped, the first empty again.
  void clear();

  // Inspection of the pool layout, for tests and diagnostics.
  struct RecordInfo {
    uint32_t offset;  // of the length byte
    uint8_t length;   // the length byte
    bool free;
  };
  uint32_t blockCount() const { return static_cast<uint32_t>(blocks_.size()); }
  uint32_t blockFree(uint32_t block) const { return blocks_[block].freeCount; }
  uint32_t blockNextFree(uint32_t block) const { return blocks_[block].nextFree; }
  std::vector<RecordInfo> records(uint32_t block) const;

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> data;
    uint32_t nextFree = 0;
    uint32_t freeCount = BLOCK_SIZE;
  };

  static Block newBlock();
  bool reuseIn(Block& block, uint32_t blockIndex, std::string_view text, uint8_t length,
               TTextRef& ref);

  std::vector<Block> blocks_;  // the last one is the current block
};
