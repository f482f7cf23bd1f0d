// Small PE images for scanner tests: a .text section with the given code,
// one imported module, and string-table and menu resources.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/reference_stores.h"

struct TScanImageLayout {
  static constexpr uint32_t kImageBase = 0x00400000;
  static constexpr uint32_t kTextRva = 0x1000;
  static constexpr uint32_t kTextRaw = 0x400;
  static constexpr uint32_t kIatRva = 0x80800;  // slot i at kImageBase + kIatRva + 4 i

  std::vector<uint8_t> code;  // .text bytes (padded to at least 0x200)
  uint32_t codeCharacteristics = 0x60000020;
  // Further code section headers over the .text bytes (as hostile tables
  // repeat one), each starting that many bytes into .text.
  std::vector<uint32_t> textRepeats;
  std::vector<std::string> imports;  // functions of "test.dll"
  struct StringBundle {
    uint32_t bundle;                   // block number (IDs (bundle - 1) * 16 ..)
    std::vector<std::string> strings;  // up to 16; "" for an empty slot
    uint32_t sizeOverride = 0;         // data size written instead of the true one
    uint32_t sharesDataOf = 0;         // an earlier bundle whose data this entry names again
  };
  std::vector<StringBundle> stringBundles;
  std::vector<std::vector<uint8_t>> menus;  // menu templates (header included)

  static uint32_t slot(uint32_t i) { return kImageBase + kIatRva + 4 * i; }
  std::vector<uint8_t> build() const;
};

// A menu template: header, then the entries in order (0x80 in flags ends a level).
struct TMenuEntry {
  uint16_t flags;
  int id;  // -1: a popup, which has no ID
  std::string text;
};
std::vector<uint8_t> menuTemplate(const std::vector<TMenuEntry>& entries);

// Little-endian dword into a byte list.
void pushLe32(std::vector<uint8_t>& v, uint32_t x);

// Every record of the stores in order, one line each: equal texts, equal stores.
std::string storeText(const TReferenceStores& s);
