#include "analysis/text_pool.h"

#include <cstring>

TTextPool::TTextPool() { blocks_.push_back(newBlock()); }

TTextPool::Block TTextPool::newBlock() {
  Block b;
  b.data = std::make_unique<uint8_t[]>(BLOCK_SIZE);
  return b;
}

namespace {
std::string_view cutText(std::string_view text) {
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  if (text.size() > TTextPool::MAX_TEXT) text = text.substr(0, TTextPool::MAX_TEXT);
  return text;
}

void writeText(uint8_t* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  at[text.size()] = 0;
}
}  // namespace

TTextRef TTextPool::store(std::string_view original) {
  const std::string_view text = cutText(original);
  const uint8_t length = static_cast<uint8_t>(text.size() + 1);

  Block& current = blocks_.back();
  if (current.nextFree + length + 1u < BLOCK_SIZE) {
    uint8_t* at = current.data.get() + current.nextFree;
    at[0] = length;
    writeText(at + 1, text);
    TTextRef ref{static_cast<uint32_t>(blocks_.size() - 1), current.nextFree + 1};
    current.nextFree += length + 1u;
    current.freeCount -= length + 1u;
    return ref;
  }

  TTextRef ref;
  for (uint32_t i = 0; i < blocks_.size(); ++i)
    if (blocks_[i].freeCount >= 3u * length && reuseIn(blocks_[i], i, text, length, ref))
      return ref;

  blocks_.push_back(newBlock());
  Block& fresh = blocks_.back();
  fresh.data[0] = length;
  writeText(fresh.data.get() + 1, text);
  fresh.nextFree = length + 1u;
  fresh.freeCount = BLOCK_SIZE - length - 1u;
  return TTextRef{static_cast<uint32_t>(blocks_.size() - 1), 1};
}

bool TTextPool::reuseIn(Block& block, uint32_t blockIndex, std::string_view text, uint8_t length,
                        TTextRef& ref) {
  uint8_t* base = block.data.get();
  for (uint32_t pos = 0; pos < block.nextFree; pos += base[pos] + 1u) {
    const uint8_t old = base[pos];
    if (base[pos + 1] != 0 || old < length) continue;
    if (old <= length + 3u) {
      block.freeCount -= old + 1u;
    } else {
      // Split: the tail past the new text stays a free record of its own.
      base[pos] = length;
      const uint32_t tail = pos + 1u + length;
      base[tail] = static_cast<uint8_t>(old - length - 1);
      base[tail + 1] = 0;
      block.freeCount -= length + 1u;
    }
    writeText(base + pos + 1, text);
    ref = TTextRef{blockIndex, pos + 1};
    return true;
  }
  return false;
}

void TTextPool::release(TTextRef ref) {
  if (ref.block >= blocks_.size()) return;
  Block& block = blocks_[ref.block];
  if (ref.offset == 0 || ref.offset >= block.nextFree) return;
  uint8_t* base = block.data.get();
  const uint32_t pos = ref.offset - 1;
  if (base[ref.offset] == 0) return;  // already free
  base[ref.offset] = 0;
  block.freeCount += base[pos] + 1u;
  const uint32_t next = pos + 1u + base[pos];
  if (next < block.nextFree && base[next + 1] == 0 && base[pos] + base[next] + 1u < 256u)
    base[pos] = static_cast<uint8_t>(base[pos] + base[next] + 1u);
}

void TTextPool::clear() {
  blocks_.resize(1);
  blocks_[0].nextFree = 0;
  blocks_[0].freeCount = BLOCK_SIZE;
}

std::vector<TTextPool::RecordInfo> TTextPool::records(uint32_t blockIndex) const {
  std::vector<RecordInfo> out;
  const Block& block = blocks_[blockIndex];
  const uint8_t* base = block.data.get();
  for (uint32_t pos = 0; pos < block.nextFree; pos += base[pos] + 1u)
    out.push_back({pos, base[pos], base[pos + 1] == 0});
  return out;
}
