// Decodes arbitrary bytes in all three modes, 16- and 32-bit, with arbitrary
// fixed-register views and output capacities. Checks: every instruction is at
// least one byte, all modes agree on the length, the text fits its capacity
// and holds no control bytes except the two-byte reference marks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "disasm/annotation.h"
#include "disasm/decoder.h"

namespace {

class TFuzzAnnotator : public TAnnotator {
 public:
  void annotateValue(uint32_t value, char* out, size_t cap, bool, bool, int,
                     uint32_t) const override {
    fill(value, out, cap);
  }
  void annotateBranch(uint32_t value, char* out, size_t cap, bool, bool, uint32_t) const override {
    fill(value, out, cap);
  }
  uint32_t memoryToFileOffset(uint32_t address) const override {
    return (address & 1) ? 0xFFFFFFFF : address >> 1;
  }

 private:
  // Writes up to cap - 1 characters, as much as the value asks for.
  static void fill(uint32_t value, char* out, size_t cap) {
    size_t n = value % 500;
    if (n >= cap) n = cap - 1;
    std::memset(out, 'a', n);
    out[n] = 0;
  }
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 40) return 0;
  TFixedRegView view;
  std::memcpy(view.mask, data, 3);
  std::memcpy(view.value, data + 3, 32);
  bool code16 = data[35] & 1;
  bool useView = data[35] & 2;
  bool useAnnotator = data[35] & 4;
  size_t cap = 1 + data[36] + ((data[37] & 1) << 8);
  uint32_t bias = uint32_t(data[38]) * 0x10001u;
  data += 40;
  size -= 40;

  // The file buffer: the bytes, then 16 zero bytes.
  std::vector<uint8_t> buffer(data, data + size);
  buffer.resize(size + 16, 0);
  const uint8_t* base = buffer.data();
  const TFuzzAnnotator annotator;
  std::vector<char> text(cap + 1);

  for (size_t pos = 0; pos < size;) {
    const uint8_t* start = base + pos;
    const uint8_t* lengthCursor = start;
    decodeInstruction(lengthCursor, DecodeLength, base, bias, nullptr, 0, code16, nullptr, nullptr);
    size_t length = size_t(lengthCursor - start);
    check(length >= 1);
    for (DecodeMode mode : {DecodeListing, DecodePlain}) {
      std::memset(text.data(), 0, text.size());
      text[cap] = 'X';  // guard: never written
      const uint8_t* cursor = start;
      decodeInstruction(cursor, mode, base, bias, text.data(), cap, code16,
                        useView ? &view : nullptr, useAnnotator ? &annotator : nullptr);
      check(size_t(cursor - start) == length);
      check(text[cap] == 'X');
      size_t n = strnlen(text.data(), cap);
      check(n < cap);
      for (size_t i = 0; i < n; ++i) {
        if (uint8_t(text[i]) >= 0x20) continue;
        check(text[i] == 0x1F);  // a reference mark: its kind may be cut off at the end only
        ++i;
      }
    }
    pos += length;
  }
  return 0;
}
