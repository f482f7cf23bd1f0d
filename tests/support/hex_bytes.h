// Byte strings written as hexadecimal, both ways, for tables of expected bytes.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// "8B 45 08" -> bytes (blanks between bytes are optional).
inline std::vector<uint8_t> hexBytes(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(uint8_t(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    i += 2;
  }
  return out;
}

// Bytes -> "8B4508".
inline std::string hexText(const uint8_t* bytes, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kHex[bytes[i] >> 4];
    s += kHex[bytes[i] & 15];
  }
  return s;
}
