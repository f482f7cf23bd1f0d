#include "image/raw_convert.h"

#include <algorithm>

#include "base/le_read.h"
#include "image/pe_layout.h"

namespace {

// Offset of the section table, or 0 when the header cannot hold one.
bool sectionTable(const uint8_t* buffer, uint32_t size, uint32_t& peHeader, uint64_t& table) {
  if (size < 0x200) return false;
  peHeader = readLe32(buffer + mz_header::kPeHeaderOffset);
  if (uint64_t(size) <= uint64_t(peHeader) + 0x77) return false;
  const uint32_t directories = readLe32(buffer + peHeader + pe_header::kNumberOfRvaAndSizes);
  table = uint64_t(peHeader) + pe_header::sectionTable(directories);
  return true;
}

}  // namespace

uint32_t rawRvaToFileOffset(uint32_t rva, const uint8_t* buffer, uint32_t size,
                            uint32_t* sectionRva, uint32_t* sectionRawSize) {
  uint32_t p;
  uint64_t table;
  if (!sectionTable(buffer, size, p, table) || !fitsIn(size, table, 24)) return 0xFFFFFFFFu;
  const uint32_t count = readLe16(buffer + p + pe_header::kNumberOfSections);
  const uint32_t firstRva = readLe32(buffer + table + pe_section::kVirtualAddress);
  const uint32_t firstRaw = readLe32(buffer + table + pe_section::kPointerToRawData);
  if (rva < firstRva && rva < firstRaw) {
    // ImageBase is read only now: the test above guarantees the bytes up to
    // the data directories.
    if (sectionRva) *sectionRva = readLe32(buffer + p + pe_header::kImageBase);
    if (sectionRawSize) *sectionRawSize = firstRaw;
    return rva;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t h = table + uint64_t(pe_section::kHeaderSize) * i;
    if (!fitsIn(size, h, 24)) return 0xFFFFFFFFu;
    const uint32_t va = readLe32(buffer + h + pe_section::kVirtualAddress);
    const uint32_t rawSize = readLe32(buffer + h + pe_section::kSizeOfRawData);
    if (sectionRva) *sectionRva = va;
    if (sectionRawSize) *sectionRawSize = rawSize;
    if (va <= rva && uint64_t(rva) < uint64_t(va) + rawSize)
      return readLe32(buffer + h + pe_section::kPointerToRawData) + rva - va;
  }
  return 0xFFFFFFFFu;
}

uint32_t rawFileOffsetToMemory(uint32_t offset, const uint8_t* buffer, uint32_t size,
                               uint32_t* sectionRva, uint32_t* sectionRawOffset) {
  if (sectionRva) *sectionRva = 0;
  uint32_t p;
  uint64_t table;
  if (!sectionTable(buffer, size, p, table)) return 0;
  const uint32_t imageBase = readLe32(buffer + p + pe_header::kImageBase);
  const uint32_t count = readLe16(buffer + p + pe_header::kNumberOfSections);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t h = table + uint64_t(pe_section::kHeaderSize) * i;
    if (!fitsIn(size, h, 24)) return 0;
    const uint32_t va = readLe32(buffer + h + pe_section::kVirtualAddress);
    const uint32_t rawSize = readLe32(buffer + h + pe_section::kSizeOfRawData);
    const uint32_t raw = readLe32(buffer + h + pe_section::kPointerToRawData);
    if (raw <= offset && uint64_t(offset) < uint64_t(raw) + rawSize) {
      if (sectionRva) *sectionRva = va;
      if (sectionRawOffset) *sectionRawOffset = raw;
      return va + offset - raw + imageBase;
    }
  }
  if (sectionRawOffset) *sectionRawOffset = 0;
  return imageBase + offset;
}

// ---- the table read once ----------------------------------------------------------

TRawSectionTable::THeader TRawSectionTable::readHeader(const uint8_t* buffer, uint32_t size) {
  THeader h;
  uint32_t p;
  if (!sectionTable(buffer, size, p, h.table)) return h;
  h.usable = true;
  h.imageBase = readLe32(buffer + p + pe_header::kImageBase);
  h.count = readLe16(buffer + p + pe_header::kNumberOfSections);
  // Only the first 24 bytes of a header are read, and headers lie in a row:
  // those present end where the first one leaves the buffer.
  const uint64_t room =
      fitsIn(size, h.table, 24) ? (size - h.table - 24) / pe_section::kHeaderSize + 1 : 0;
  h.present = uint32_t(std::min<uint64_t>(room, h.count));
  h.firstPresent = room > 0;
  if (h.firstPresent) {
    h.firstRva = readLe32(buffer + h.table + pe_section::kVirtualAddress);
    h.firstRaw = readLe32(buffer + h.table + pe_section::kPointerToRawData);
  }
  return h;
}

TRawSectionTable::TSection TRawSectionTable::readSection(const uint8_t* buffer,
                                                         const THeader& header, uint32_t index) {
  const uint8_t* h = buffer + header.table + uint64_t(pe_section::kHeaderSize) * index;
  return {readLe32(h + pe_section::kVirtualAddress), readLe32(h + pe_section::kSizeOfRawData),
          readLe32(h + pe_section::kPointerToRawData)};
}

void TRawSectionTable::read(const uint8_t* buffer, uint32_t size) {
  header_ = readHeader(buffer, size);
  sections_.clear();
  sections_.reserve(header_.present);
  std::vector<TSectionIndex::TRange> rvas, offsets;
  rvas.reserve(header_.present);
  offsets.reserve(header_.present);
  for (uint32_t i = 0; i < header_.present; ++i) {
    const TSection s = readSection(buffer, header_, i);
    sections_.push_back(s);
    rvas.push_back({s.rva, uint64_t(s.rva) + s.rawSize});
    offsets.push_back({s.raw, uint64_t(s.raw) + s.rawSize});
  }
  byRva_.build(rvas);
  byOffset_.build(offsets);
}

bool TRawSectionTable::matches(const uint8_t* buffer, uint32_t size) const {
  if (!(readHeader(buffer, size) == header_)) return false;
  for (uint32_t i = 0; i < header_.present; ++i) {
    const TSection s = readSection(buffer, header_, i);
    const TSection& t = sections_[i];
    if (s.rva != t.rva || s.rawSize != t.rawSize || s.raw != t.raw) return false;
  }
  return true;
}

uint32_t TRawSectionTable::rvaToFileOffset(uint32_t rva, uint32_t* sectionRva,
                                           uint32_t* sectionRawSize) const {
  if (!header_.usable || !header_.firstPresent) return 0xFFFFFFFFu;
  if (rva < header_.firstRva && rva < header_.firstRaw) {
    if (sectionRva) *sectionRva = header_.imageBase;
    if (sectionRawSize) *sectionRawSize = header_.firstRaw;
    return rva;
  }
  const uint32_t i = byRva_.find(rva);
  // Without a match the walk leaves the outputs at the last header it read.
  const uint32_t reported = i != TSectionIndex::NONE ? i : header_.present - 1;
  if (reported < sections_.size()) {
    if (sectionRva) *sectionRva = sections_[reported].rva;
    if (sectionRawSize) *sectionRawSize = sections_[reported].rawSize;
  }
  if (i == TSectionIndex::NONE) return 0xFFFFFFFFu;
  return sections_[i].raw + rva - sections_[i].rva;
}

uint32_t TRawSectionTable::fileOffsetToMemory(uint32_t offset, uint32_t* sectionRva,
                                              uint32_t* sectionRawOffset) const {
  if (sectionRva) *sectionRva = 0;
  if (!header_.usable) return 0;
  const uint32_t i = byOffset_.find(offset);
  if (i != TSectionIndex::NONE) {
    const TSection& s = sections_[i];
    if (sectionRva) *sectionRva = s.rva;
    if (sectionRawOffset) *sectionRawOffset = s.raw;
    return s.rva + offset - s.raw + header_.imageBase;
  }
  // A table cut by the buffer's end fails where the walk reaches the cut.
  if (header_.present < header_.count) return 0;
  if (sectionRawOffset) *sectionRawOffset = 0;
  return header_.imageBase + offset;
}

uint64_t TRawSectionTable::sameShiftUntil(uint32_t offset) const {
  if (!header_.usable) return uint64_t(offset) + 1;
  uint64_t end = 0;
  const uint32_t i = byOffset_.find(offset, &end);
  if (i == TSectionIndex::NONE && header_.present < header_.count) return uint64_t(offset) + 1;
  return end;
}
