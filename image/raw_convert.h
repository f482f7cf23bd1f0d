// Address conversions that read the section table straight from a buffer,
// for code that works on a buffer and its size rather than a parsed image
// (resource readers, listing lines, the reference scanner). Their rules differ
// from TImageInfo's on purpose: sections are bounded by their raw size, the
// signatures are not checked and the full 16-bit section count is used.
#pragma once
#include <cstdint>
#include <vector>

#include "image/section_index.h"

// File offset of `rva`, or 0xFFFFFFFF. The result is not checked against the
// buffer size. The optional outputs receive the matching section's RVA and
// raw size (ImageBase and the first section's raw offset for a header RVA;
// the last section looked at when none matches).
uint32_t rawRvaToFileOffset(uint32_t rva, const uint8_t* buffer, uint32_t size,
                            uint32_t* sectionRva = nullptr, uint32_t* sectionRawSize = nullptr);

// Memory address shown for a file offset; never fails (0 for a buffer without
// a usable header or with a section table cut before a match). The optional
// outputs receive the matching section's RVA and raw offset.
uint32_t rawFileOffsetToMemory(uint32_t offset, const uint8_t* buffer, uint32_t size,
                               uint32_t* sectionRva = nullptr,
                               uint32_t* sectionRawOffset = nullptr);

// The same two conversions for a caller that converts many times: the header
// and section table of one buffer read once, each conversion in logarithmic
// time with exactly the results of the functions above. It keeps no pointer
// to the buffer; a change of the buffer's header bytes needs a new read().
class TRawSectionTable {
 public:
  TRawSectionTable() = default;  // as for a buffer without a usable header
  TRawSectionTable(const uint8_t* buffer, uint32_t size) { read(buffer, size); }

  void read(const uint8_t* buffer, uint32_t size);
  // True when read(buffer, size) would give this same table.
  bool matches(const uint8_t* buffer, uint32_t size) const;

  uint32_t rvaToFileOffset(uint32_t rva, uint32_t* sectionRva = nullptr,
                           uint32_t* sectionRawSize = nullptr) const;
  uint32_t fileOffsetToMemory(uint32_t offset, uint32_t* sectionRva = nullptr,
                              uint32_t* sectionRawOffset = nullptr) const;
  // The end of the stretch from offset on where fileOffsetToMemory(x) - x
  // stays what it is at offset (offset + 1 where the result is no such shift).
  uint64_t sameShiftUntil(uint32_t offset) const;

 private:
  // The header fields the conversions read.
  struct THeader {
    bool usable = false;        // size and e_lfanew leave room for the optional header
    bool firstPresent = false;  // the first section header's fields lie in the buffer
    uint32_t imageBase = 0;
    uint32_t count = 0;    // NumberOfSections, all 16 bits
    uint32_t present = 0;  // headers whose fields lie in the buffer, at most count
    uint64_t table = 0;    // file offset of the section table
    uint32_t firstRva = 0, firstRaw = 0;
    bool operator==(const THeader&) const = default;
  };
  struct TSection {
    uint32_t rva, rawSize, raw;
  };
  static THeader readHeader(const uint8_t* buffer, uint32_t size);
  static TSection readSection(const uint8_t* buffer, const THeader& header, uint32_t index);

  THeader header_;
  std::vector<TSection> sections_;  // the present headers, in table order
  TSectionIndex byRva_;             // [rva, rva + raw size)
  TSectionIndex byOffset_;          // [raw, raw + raw size)
};
