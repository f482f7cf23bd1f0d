// Helpers shared by the decoder tests: byte strings, mark rendering, one-call decoding.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "disasm/decoder.h"
#include "support/hex_bytes.h"

// Reference marks 0x1F k become "{k}", colour marks 0x1E c become "<c>" (hex).
inline std::string renderMarks(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if ((*p == 0x1F || *p == 0x1E) && p[1]) {
      char buf[8];
      snprintf(buf, sizeof buf, *p == 0x1F ? "{%d}" : "<%X>", uint8_t(p[1]));
      out += buf;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

struct TDecoded {
  std::string text;  // marks rendered
  size_t length;
};

// Decodes bytes placed at file offset `offset` of a zero-filled buffer (16 zero
// bytes behind them), with the given bias.
inline TDecoded decodeAt(const std::vector<uint8_t>& bytes, DecodeMode mode, bool code16 = false,
                         uint32_t offset = 0, uint32_t bias = 0, const TFixedRegView* fixed = nullptr,
                         const TAnnotator* annotator = nullptr, size_t cap = 400) {
  std::vector<uint8_t> buffer(offset + bytes.size() + 16, 0);
  std::copy(bytes.begin(), bytes.end(), buffer.begin() + offset);
  const uint8_t* cursor = buffer.data() + offset;
  std::vector<char> out(cap + 1, 0);
  decodeInstruction(cursor, mode, buffer.data(), bias, out.data(), cap, code16, fixed, annotator);
  return {renderMarks(out.data()), size_t(cursor - (buffer.data() + offset))};
}
