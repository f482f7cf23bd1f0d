// The bytes that count as text: in string previews behind addresses, in the
// string lines of the listing and in the reference scanner's string search.
// Printable ASCII, the German letters of code page 1252 and the three layout
// controls (tab, line feed, carriage return).
#pragma once
#include <cstdint>

constexpr bool isTextCharRule(uint8_t c) {
  if (c >= 0x20 && c <= 0x7E) return true;
  switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0D:  // tab, line feed, carriage return
    case 0xC4:
    case 0xD6:
    case 0xDC:  // Ä Ö Ü
    case 0xE4:
    case 0xF6:
    case 0xFC:
    case 0xDF:  // ä ö ü ß
      return true;
    default: return false;
  }
}

// The rule as a table: the listing asks it several times for every line.
struct TTextCharTable {
  bool text[256];
  constexpr TTextCharTable() : text() {
    for (int c = 0; c < 256; ++c) text[c] = isTextCharRule(uint8_t(c));
  }
};
inline constexpr TTextCharTable kTextChars{};

constexpr bool isTextChar(uint8_t c) { return kTextChars.text[c]; }

// How a text byte is printed inside a one-line preview: the layout controls
// become ".", so that no byte below 0x20 enters listing text.
constexpr char previewChar(uint8_t c) {
  return (c == 0x09 || c == 0x0A || c == 0x0D) ? '.' : static_cast<char>(c);
}
