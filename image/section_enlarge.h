// The section-enlarged copy of a PE file: every section whose raw data is
// shorter than its virtual size gets raw data of its virtual size rounded up
// to the file alignment, the sections behind it move up, and the section
// table is rewritten in the new raw-offset order.
//
// The copy is planned completely before anything is written, so a copy that
// cannot be made (or could not be opened again) costs no write at all.
#pragma once
#include <cstdint>
#include <vector>

#include "image/file_save.h"
#include "image/image_info.h"

enum class EnlargeProblem {
  None,
  NotPe,          // the buffer's headers are not PE after all
  ZeroAlignment,  // FileAlignment is 0
  Overlap,        // raw data before the bytes already laid out, or past the end of the file
  TooLarge,       // the copy would be larger than kLargestFileSize
};

// One run of output bytes: file bytes [source, source + length), or zeros.
struct TEnlargePiece {
  uint64_t source;
  uint64_t length;
  bool zeros;
};

struct TEnlargedSection {
  SectionInfo old;  // as the image model read it
  uint32_t newRawOffset;
  uint32_t newRawSize;
};

struct TEnlargeLayout {
  EnlargeProblem problem = EnlargeProblem::None;
  // Overlap: the output position of the chunk that cannot be copied and its
  // length (end - start, negative when the raw data lies before the start).
  uint64_t failedAt = 0;
  uint64_t failedLength = 0;
  uint64_t tableOffset = 0;  // the headers before the section table are copied as they are
  // The COFF symbol table (PointerToSymbolTable, at symbolPointerAt) usually
  // lies in the overlay; it follows its bytes to their new place.
  uint64_t symbolPointerAt = 0;
  uint32_t symbolPointer = 0;
  std::vector<TEnlargedSection> sections;  // in the order of the new section table
  std::vector<TEnlargePiece> pieces;       // everything behind the new section table
  uint64_t outputSize = 0;
};

// Plans the copy of `size` file bytes described by `image`; reads no byte at
// or beyond `size`.
//
// Sections with raw data keep their raw-offset order. A section without raw
// data (raw size 0: its raw offset means nothing) is placed in address order,
// right behind the section that precedes it by RVA, or in front of all
// sections when none does. Each section's new raw data is its old raw data
// followed by zeros up to the new raw size; bytes between two sections' raw
// data follow the first of them, and the bytes behind the last section (an
// overlay) stay at the end of the copy. Of the other headers only
// PointerToSymbolTable changes, when the bytes it points to moved.
TEnlargeLayout planSectionEnlarged(const uint8_t* buffer, uint32_t size, const TImageInfo& image);

// Writes a layout planned without a problem; false as soon as a write fails.
bool writeSectionEnlarged(const uint8_t* buffer, const TEnlargeLayout& layout,
                          const TWriter& write);
