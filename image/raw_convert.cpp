#include "image/raw_convert.h"

#include "base/le_read.h"

namespace {

// Offset of the section table, or 0 when the header cannot hold one.
bool sectionTable(const uint8_t* buffer, uint32_t size, uint32_t& peHeader, uint64_t& table) {
  if (size < 0x200) return false;
  peHeader = readLe32(buffer + 0x3C);
  if (uint64_t(size) <= uint64_t(peHeader) + 0x77) return false;
  table = uint64_t(peHeader) + 0x78 + 8ull * readLe32(buffer + peHeader + 0x74);
  return true;
}

}  // namespace

uint32_t rawRvaToFileOffset(uint32_t rva, const uint8_t* buffer, uint32_t size,
                            uint32_t* sectionRva, uint32_t* sectionRawSize) {
  uint32_t p;
  uint64_t table;
  if (!sectionTable(buffer, size, p, table) || !fitsIn(size, table, 24)) return 0xFFFFFFFFu;
  const uint32_t count = readLe16(buffer + p + 6);
  const uint32_t firstRva = readLe32(buffer + table + 12);
  const uint32_t firstRaw = readLe32(buffer + table + 20);
  if (rva < firstRva && rva < firstRaw) {
    // ImageBase is read only now: the test above guarantees p + 0x78 bytes.
    if (sectionRva) *sectionRva = readLe32(buffer + p + 0x34);
    if (sectionRawSize) *sectionRawSize = firstRaw;
    return rva;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t h = table + 40ull * i;
    if (!fitsIn(size, h, 24)) return 0xFFFFFFFFu;
    const uint32_t va = readLe32(buffer + h + 12);
    const uint32_t rawSize = readLe32(buffer + h + 16);
    if (sectionRva) *sectionRva = va;
    if (sectionRawSize) *sectionRawSize = rawSize;
    if (va <= rva && uint64_t(rva) < uint64_t(va) + rawSize)
      return readLe32(buffer + h + 20) + rva - va;
  }
  return 0xFFFFFFFFu;
}

uint32_t rawFileOffsetToMemory(uint32_t offset, const uint8_t* buffer, uint32_t size,
                               uint32_t* sectionRva, uint32_t* sectionRawOffset) {
  if (sectionRva) *sectionRva = 0;
  uint32_t p;
  uint64_t table;
  if (!sectionTable(buffer, size, p, table)) return 0;
  const uint32_t imageBase = readLe32(buffer + p + 0x34);
  const uint32_t count = readLe16(buffer + p + 6);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t h = table + 40ull * i;
    if (!fitsIn(size, h, 24)) return 0;
    const uint32_t va = readLe32(buffer + h + 12);
    const uint32_t rawSize = readLe32(buffer + h + 16);
    const uint32_t raw = readLe32(buffer + h + 20);
    if (raw <= offset && uint64_t(offset) < uint64_t(raw) + rawSize) {
      if (sectionRva) *sectionRva = va;
      if (sectionRawOffset) *sectionRawOffset = raw;
      return va + offset - raw + imageBase;
    }
  }
  if (sectionRawOffset) *sectionRawOffset = 0;
  return imageBase + offset;
}
