// Address conversions that read the section table straight from a buffer,
// for code that works on a buffer and its size rather than a parsed image
// (resource readers, listing lines, the reference scanner). Their rules differ
// from TImageInfo's on purpose: sections are bounded by their raw size and the
// signatures are not checked.
#pragma once
#include <cstdint>

// File offset of `rva`, or 0xFFFFFFFF. The result is not checked against the
// buffer size. The optional outputs receive the matching section's RVA and
// raw size (ImageBase and the first section's raw offset for a header RVA).
uint32_t rawRvaToFileOffset(uint32_t rva, const uint8_t* buffer, uint32_t size,
                            uint32_t* sectionRva = nullptr, uint32_t* sectionRawSize = nullptr);

// Memory address shown for a file offset; never fails (0 for a buffer without
// a usable header). The optional outputs receive the matching section's RVA
// and raw offset.
uint32_t rawFileOffsetToMemory(uint32_t offset, const uint8_t* buffer, uint32_t size,
                               uint32_t* sectionRva = nullptr,
                               uint32_t* sectionRawOffset = nullptr);
