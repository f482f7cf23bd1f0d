#include "image/relocations.h"

#include <algorithm>

#include "base/le_read.h"
#include "image/pe_layout.h"

void TRelocationTable::clear() {
  present_ = false;
  blocks_.clear();
  pageIndex_.clear();
}

void TRelocationTable::read(const uint8_t* buffer, uint32_t off, uint32_t size) {
  clear();
  present_ = true;
  const uint64_t end = uint64_t(off) + size;
  uint64_t p = off;
  while (p + pe_relocation::kBlockHeaderSize <= end) {
    uint32_t page = readLe32(buffer + p + pe_relocation::kPageRva);
    uint32_t blockSize = readLe32(buffer + p + pe_relocation::kBlockSize);
    if (blockSize < pe_relocation::kBlockHeaderSize || p + blockSize > end) break;
    TRelocationBlock b{page,
                       static_cast<uint32_t>(p),
                       (blockSize - pe_relocation::kBlockHeaderSize) / 2,
                       {}};
    b.entries.resize(b.entryCount);
    for (uint32_t k = 0; k < b.entryCount; ++k)
      b.entries[k] = readLe16(buffer + p + pe_relocation::kBlockHeaderSize + 2 * k);
    blocks_.push_back(std::move(b));
    p += blockSize;
  }
  pageIndex_.reserve(blocks_.size());
  for (uint32_t i = 0; i < blocks_.size(); ++i) pageIndex_.emplace_back(blocks_[i].pageRva, i);
  std::sort(pageIndex_.begin(), pageIndex_.end());
}

const TRelocationBlock* TRelocationTable::blockForPage(uint32_t page) const {
  auto it = std::lower_bound(pageIndex_.begin(), pageIndex_.end(), std::make_pair(page, 0u));
  if (it == pageIndex_.end() || it->first != page) return nullptr;
  return &blocks_[it->second];
}

bool TRelocationTable::find(uint32_t rva, const TRelocationBlock*& block,
                            uint32_t& entryIndex) const {
  const uint32_t page = rva & ~0xFFFu;
  const TRelocationBlock* b = blockForPage(page);
  // A dword that starts at the end of the previous page covers the first bytes of this one.
  if (!b && (rva & 0xFFFu) < 4) b = blockForPage(page - 0x1000u);
  if (!b) return false;
  for (uint32_t k = 0; k < b->entryCount; ++k) {
    uint16_t e = b->entries[k];
    if ((e >> 12) != 3) continue;
    uint64_t start = uint64_t(b->pageRva) + (e & 0xFFFu);
    if (start <= rva && rva <= start + 3) {
      block = b;
      entryIndex = k;
      return true;
    }
  }
  return false;
}

uint32_t TRelocationTable::stateAt(uint32_t rva) const {
  const TRelocationBlock* b;
  uint32_t k;
  if (!find(rva, b, k)) return 0;
  return b->pageRva + (b->entries[k] & 0xFFFu) == rva ? 1 : 2;
}

uint32_t TRelocationTable::entryOffsetAt(uint32_t rva) const {
  const TRelocationBlock* b;
  uint32_t k;
  if (!find(rva, b, k)) return 0xFFFFFFFFu;
  return b->blockOffset + 8 + 2 * k;
}
