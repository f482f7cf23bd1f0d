// Helpers of the assembler tests: the text the listing shows for bytes, and
// byte strings as hexadecimal (support/hex_bytes.h).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "disasm/decoder.h"
#include "support/hex_bytes.h"

// The decoder's text for the bytes at address, as a 32-bit listing or a
// listing in file offsets prints it: without reference marks and without the
// segment letter of 16-bit addresses. length receives the instruction length.
inline std::string listedText(const uint8_t* bytes, uint32_t address, bool code16, size_t& length) {
  uint8_t buffer[32] = {};
  std::memcpy(buffer, bytes, 16);
  const uint8_t* cursor = buffer;
  char text[400] = "";
  decodeInstruction(cursor, DecodePlain, buffer, 0u - address, text, sizeof text, code16, nullptr,
                    nullptr);
  length = size_t(cursor - buffer);
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p != 0x1F || !p[1]) {
      out += *p;
      continue;
    }
    p += p[1] == 8 && p[2] ? 2 : 1;
  }
  return out;
}
