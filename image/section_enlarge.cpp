#include "image/section_enlarge.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "base/le_read.h"
#include "image/pe_layout.h"

namespace {

constexpr uint64_t kZeroPiece = 128;  // padding goes out in pieces of this size

uint64_t newRawSizeOf(const SectionInfo& s, uint32_t align) {
  if (s.rawSize >= s.virtualSize) return s.rawSize;
  return (uint64_t(s.virtualSize) + align - 1) / align * align;
}

// The sections in the order of the new file: those with raw data by raw
// offset, each followed by the sections without raw data that come right
// after it by RVA; such sections that come first by RVA lead.
std::vector<size_t> layoutOrder(const std::vector<SectionInfo>& sections) {
  std::vector<size_t> byRva(sections.size());
  std::iota(byRva.begin(), byRva.end(), size_t(0));
  std::stable_sort(byRva.begin(), byRva.end(),
                   [&](size_t a, size_t b) { return sections[a].rva < sections[b].rva; });
  std::vector<size_t> rvaRank(sections.size());
  for (size_t k = 0; k < byRva.size(); ++k) rvaRank[byRva[k]] = k;

  std::vector<size_t> withData;
  for (size_t i = 0; i < sections.size(); ++i)
    if (sections[i].rawSize) withData.push_back(i);
  std::stable_sort(withData.begin(), withData.end(), [&](size_t a, size_t b) {
    return sections[a].rawOffset < sections[b].rawOffset;
  });

  std::vector<size_t> order;
  order.reserve(sections.size());
  auto followers = [&](size_t k) {  // the run without raw data from RVA rank k on
    for (; k < byRva.size() && !sections[byRva[k]].rawSize; ++k) order.push_back(byRva[k]);
  };
  followers(0);
  for (size_t i : withData) {
    order.push_back(i);
    followers(rvaRank[i] + 1);
  }
  return order;
}

// Where the file byte at `offset` stands in the copy: the first piece that
// copies it, or the headers; unchanged when the copy leaves it out.
uint32_t newPositionOf(const TEnlargeLayout& L, uint32_t offset) {
  if (offset < L.tableOffset) return offset;
  uint64_t at = L.tableOffset + uint64_t(pe_section::kHeaderSize) * L.sections.size();
  for (const TEnlargePiece& piece : L.pieces) {
    if (!piece.zeros && piece.source <= offset && offset - piece.source < piece.length)
      return static_cast<uint32_t>(at + (offset - piece.source));
    at += piece.length;
  }
  return offset;
}

}  // namespace

TEnlargeLayout planSectionEnlarged(const uint8_t* buffer, uint32_t size, const TImageInfo& image) {
  TEnlargeLayout L;
  const uint32_t p = size >= mz_header::kSize ? readLe32(buffer + mz_header::kPeHeaderOffset) : 0;
  if (p == 0 || uint64_t(size) <= uint64_t(p) + 140 ||
      readLe16(buffer + p) != pe_header::kSignature) {
    L.problem = EnlargeProblem::NotPe;
    return L;
  }
  const uint32_t align = readLe32(buffer + p + pe_header::kFileAlignment);
  if (align == 0) {
    L.problem = EnlargeProblem::ZeroAlignment;
    return L;
  }
  const std::vector<SectionInfo>& sections = image.sections();
  L.tableOffset = uint64_t(p) +
                  pe_header::sectionTable(readLe32(buffer + p + pe_header::kNumberOfRvaAndSizes));
  uint64_t out = L.tableOffset + uint64_t(pe_section::kHeaderSize) * sections.size();
  if (out > kLargestFileSize) {
    L.problem = EnlargeProblem::TooLarge;
    return L;
  }

  auto copy = [&](uint64_t from, uint64_t to) {
    if (to > from) L.pieces.push_back({from, to - from, false});
    out += to > from ? to - from : 0;
  };
  auto zeros = [&](uint64_t n) {
    if (n) L.pieces.push_back({0, n, true});
    out += n;
  };
  auto overlap = [&](uint64_t from, uint64_t to) {
    L.problem = out > kLargestFileSize ? EnlargeProblem::TooLarge : EnlargeProblem::Overlap;
    L.failedAt = out;
    L.failedLength = to - from;
    L.pieces.clear();
    L.sections.clear();
    return L;
  };

  const std::vector<size_t> order = layoutOrder(sections);
  std::vector<size_t> withData;  // positions in `order` of the sections with raw data
  for (size_t k = 0; k < order.size(); ++k)
    if (sections[order[k]].rawSize) withData.push_back(k);

  // The bytes between the section table and the first raw data stay as they
  // are; with no raw data at all that is the rest of the file, and the new
  // raw data starts at the next alignment boundary behind it.
  uint64_t carried = out;  // the file bytes up to here are in the layout
  const uint64_t firstRaw = withData.empty() ? size : sections[order[withData[0]]].rawOffset;
  if (firstRaw < carried || firstRaw > size) return overlap(carried, firstRaw);
  copy(carried, firstRaw);
  carried = firstRaw;
  const bool placesData = std::any_of(order.begin(), order.end(), [&](size_t i) {
    return newRawSizeOf(sections[i], align) > 0;
  });
  if (withData.empty() && placesData) zeros((align - out % align) % align);

  size_t nextWithData = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const SectionInfo& s = sections[order[k]];
    const uint64_t newRawSize = newRawSizeOf(s, align);
    L.sections.push_back({s, static_cast<uint32_t>(out), static_cast<uint32_t>(newRawSize)});
    if (!s.rawSize) {
      zeros(newRawSize);
    } else {
      if (s.rawOffset > size) return overlap(carried, s.rawOffset);
      const uint64_t present = std::min<uint64_t>(s.rawSize, size - s.rawOffset);
      copy(s.rawOffset, s.rawOffset + present);
      zeros(newRawSize - present);
      carried = std::max<uint64_t>(carried, s.rawOffset + present);
      // Bytes up to the next section's raw data travel with this section.
      if (++nextWithData < withData.size()) {
        const uint64_t next = std::min<uint64_t>(sections[order[withData[nextWithData]]].rawOffset,
                                                 size);
        copy(carried, next);
        carried = std::max(carried, next);
      }
    }
    if (out > kLargestFileSize) {
      L.problem = EnlargeProblem::TooLarge;
      return L;
    }
  }
  copy(carried, size);  // the overlay
  L.outputSize = out;
  if (out > kLargestFileSize) L.problem = EnlargeProblem::TooLarge;
  L.symbolPointerAt = uint64_t(p) + pe_header::kPointerToSymbolTable;
  L.symbolPointer = newPositionOf(L, readLe32(buffer + p + pe_header::kPointerToSymbolTable));
  return L;
}

bool writeSectionEnlarged(const uint8_t* buffer, const TEnlargeLayout& layout,
                          const TWriter& write) {
  uint8_t symbolPointer[4];
  writeLe32(symbolPointer, layout.symbolPointer);
  const uint64_t at = layout.symbolPointerAt;
  if (!write(buffer, at) || !write(symbolPointer, 4) ||
      !write(buffer + at + 4, layout.tableOffset - at - 4))
    return false;
  std::vector<uint8_t> table(layout.sections.size() * pe_section::kHeaderSize, 0);
  uint8_t* h = table.data();
  for (const TEnlargedSection& s : layout.sections) {
    // Relocation and line-number pointers and counts are left zero.
    std::memcpy(h + pe_section::kName, s.old.name, pe_section::kNameSize);
    writeLe32(h + pe_section::kVirtualSize, s.old.virtualSize);
    writeLe32(h + pe_section::kVirtualAddress, s.old.rva);
    writeLe32(h + pe_section::kSizeOfRawData, s.newRawSize);
    writeLe32(h + pe_section::kPointerToRawData, s.newRawOffset);
    writeLe32(h + pe_section::kCharacteristics, s.old.characteristics);
    h += pe_section::kHeaderSize;
  }
  if (!table.empty() && !write(table.data(), table.size())) return false;
  static const uint8_t zeros[kZeroPiece] = {};
  for (const TEnlargePiece& piece : layout.pieces) {
    if (!piece.zeros) {
      if (!write(buffer + piece.source, piece.length)) return false;
      continue;
    }
    for (uint64_t left = piece.length; left > 0;) {
      const uint64_t n = std::min(left, kZeroPiece);
      if (!write(zeros, n)) return false;
      left -= n;
    }
  }
  return true;
}
