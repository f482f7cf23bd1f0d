// Marked listing text and byte buffers, written compactly in the analysis and listing suites.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "listing/listing_marks.h"

// Marks rendered visibly: 0x1E n as "<c n>", 0x1F k as "{k}".
inline std::string visible(const char* text) {
  std::string out;
  appendMarkedText(out, text, TMarkStyle::Tokens);
  return out;
}

// The reverse for reference marks: "{k}" (k one digit) becomes 0x1F k.
inline std::string marked(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool mark = text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}';
    out += mark ? std::string{'\x1F', char(text[i + 1] - '0')} : std::string(1, text[i]);
    if (mark) i += 2;
  }
  return out;
}

// n zero bytes with the given {offset, value} bytes set.
inline std::vector<uint8_t> zeroBytesWith(size_t n,
                                          std::initializer_list<std::pair<size_t, uint8_t>> set) {
  std::vector<uint8_t> b(n, 0);
  for (auto [at, value] : set) b[at] = value;
  return b;
}
