#include "support/pe_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/le_read.h"

TPeBuilder::Section& TPeBuilder::addSection(const std::string& name, uint32_t rva,
                                            uint32_t virtualSize, uint32_t rawSize,
                                            uint32_t characteristics) {
  uint32_t raw = headerSize;
  for (const auto& s : sections_) raw = std::max(raw, (s.rawOffset + s.rawSize + 0x1FF) & ~0x1FFu);
  sections_.push_back(Section{name, rva, virtualSize, raw, rawSize, characteristics});
  return sections_.back();
}

uint32_t TPeBuilder::fileOffsetOf(uint32_t rva) const {
  for (const auto& s : sections_)
    if (rva >= s.rva && rva < s.rva + std::max(s.rawSize, s.virtualSize))
      return rva - s.rva + s.rawOffset;
  return rva;  // header region
}

void TPeBuilder::put8(uint32_t rva, uint8_t v) { patches_.emplace_back(fileOffsetOf(rva), v); }
void TPeBuilder::put16(uint32_t rva, uint16_t v) {
  put8(rva, uint8_t(v));
  put8(rva + 1, uint8_t(v >> 8));
}
void TPeBuilder::put32(uint32_t rva, uint32_t v) {
  put16(rva, uint16_t(v));
  put16(rva + 2, uint16_t(v >> 16));
}
void TPeBuilder::putBytes(uint32_t rva, const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) put8(rva + uint32_t(i), bytes[i]);
}
void TPeBuilder::putString(uint32_t rva, const std::string& text) {
  for (size_t i = 0; i <= text.size(); ++i) put8(rva + uint32_t(i), i < text.size() ? text[i] : 0);
}

std::vector<uint8_t> TPeBuilder::build() const {
  // A huge directory count (a malformed header) moves the section table out
  // of any file; then no table is written.
  const bool tableFits = directoryCount <= 0x1000;
  size_t size = std::max<size_t>(headerSize, peOffset + 0x78 + 40 * sections_.size() +
                                                 (tableFits ? 8ull * directoryCount : 0));
  for (const auto& s : sections_) size = std::max<size_t>(size, size_t(s.rawOffset) + s.rawSize);
  for (const auto& [off, v] : patches_) size = std::max<size_t>(size, size_t(off) + 1);
  std::vector<uint8_t> f(size, 0);
  f[0] = 'M';
  f[1] = 'Z';
  writeLe16(&f[8], mzHeaderParagraphs);
  writeLe16(&f[0x14], mzIp);
  writeLe16(&f[0x16], mzCs);
  writeLe32(&f[0x3C], peOffset);
  uint8_t* p = &f[peOffset];
  std::memcpy(p, "PE\0\0", 4);
  writeLe16(p + 4, 0x14C);
  writeLe16(p + 6, uint16_t(numberOfSections < 0 ? sections_.size() : numberOfSections));
  writeLe16(p + 0x14, 0xE0);
  writeLe16(p + 0x18, 0x10B);
  writeLe32(p + 0x28, entryRva);
  writeLe32(p + 0x34, imageBase);
  writeLe32(p + 0x74, directoryCount);
  for (uint32_t i = 0; i < std::min<uint32_t>(directoryCount, 16); ++i) {
    writeLe32(p + 0x78 + 8 * i, directories[i].first);
    writeLe32(p + 0x7C + 8 * i, directories[i].second);
  }
  uint8_t* h = p + 0x78 + 8 * directoryCount;
  for (const auto& s : sections_) {
    if (!tableFits) break;
    std::memcpy(h, s.name.data(), std::min<size_t>(8, s.name.size()));
    writeLe32(h + 8, s.virtualSize);
    writeLe32(h + 12, s.rva);
    writeLe32(h + 16, s.rawSize);
    writeLe32(h + 20, s.rawOffset);
    writeLe32(h + 36, s.characteristics);
    h += 40;
  }
  for (const auto& [off, v] : patches_) f[off] = v;
  return f;
}

std::vector<uint8_t> buildMz(uint16_t headerParagraphs, uint16_t cs, uint16_t ip, uint32_t size) {
  std::vector<uint8_t> f(size, 0x90);
  if (size < 0x40) {
    ADD_FAILURE() << "an MZ header needs 64 bytes";
    return f;
  }
  std::fill(f.begin(), f.begin() + 0x40, 0);
  f[0] = 'M';
  f[1] = 'Z';
  writeLe16(&f[8], headerParagraphs);
  writeLe16(&f[0x14], ip);
  writeLe16(&f[0x16], cs);
  return f;
}
