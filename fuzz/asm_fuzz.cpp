// Assembles arbitrary text, 16- and 32-bit, at an address taken from the
// input. Checks: at most 15 bytes; a refused text leaves the output as it
// was; accepted bytes decode to a defined instruction of the same length, and
// that instruction's text assembles again to bytes the decoder shows alike.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "asm/assembler.h"
#include "disasm/decoder.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// The decoder's plain text of the bytes at address (marks kept: the
// assembler reads them).
std::string decodeText(const uint8_t* bytes, int length, uint32_t address, bool code16,
                       size_t& decoded) {
  uint8_t buffer[kAsmMaxLength + 16] = {};
  std::memcpy(buffer, bytes, size_t(length));
  const uint8_t* cursor = buffer;
  char text[400] = "";
  decodeInstruction(cursor, DecodePlain, buffer, 0u - address, text, sizeof text, code16, nullptr,
                    nullptr);
  decoded = size_t(cursor - buffer);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool code16 = data[0] & 1;
  uint32_t address = 0;
  if (size >= 5) {
    std::memcpy(&address, data + 1, 4);
    data += 5;
    size -= 5;
  } else {
    ++data;
    --size;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);  // cut at any zero byte inside
  uint8_t out[64];
  std::memset(out, 0xA5, sizeof out);
  char reason[kAsmReasonCap];
  const int n = assembleInstruction(text.c_str(), address, code16, out, reason, sizeof reason);
  check(n >= 0 && n <= kAsmMaxLength);
  if (n == 0) {
    check(reason[0] != 0);
    for (uint8_t b : out) check(b == 0xA5);
    return 0;
  }
  for (size_t i = size_t(n); i < sizeof out; ++i) check(out[i] == 0xA5);
  size_t decoded = 0;
  const std::string shown = decodeText(out, n, address, code16, decoded);
  check(decoded == size_t(n) && shown.compare(0, 6, "db    ") != 0);
  uint8_t again[64];
  const int m = assembleInstruction(shown.c_str(), address, code16, again, reason, sizeof reason);
  check(m > 0);
  size_t decodedAgain = 0;
  check(decodeText(again, m, address, code16, decodedAgain) == shown);
  return 0;
}
