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
                         uint32_t offset = 0, uint32_t bias = 0,
                         const TFixedRegView* fixed = nullptr,
                         const TAnnotator* annotator = nullptr, size_t cap = 400) {
  std::vector<uint8_t> buffer(offset + bytes.size() + 16, 0);
  std::copy(bytes.begin(), bytes.end(), buffer.begin() + offset);
  const uint8_t* cursor = buffer.data() + offset;
  std::vector<char> out(cap + 1, 0);
  decodeInstruction(cursor, mode, buffer.data(), bias, out.data(), cap, code16, fixed, annotator);
  return {renderMarks(out.data()), size_t(cursor - (buffer.data() + offset))};
}

// The branch operand of the bytes placed as decodeAt places them, with the length.
inline TBranchOperand branchAt(const std::vector<uint8_t>& bytes, bool code16, uint32_t offset,
                               uint32_t bias, size_t& length) {
  std::vector<uint8_t> buffer(offset + bytes.size() + 16, 0);
  std::copy(bytes.begin(), bytes.end(), buffer.begin() + offset);
  const uint8_t* cursor = buffer.data() + offset;
  TBranchOperand b;
  decodeBranchOperand(cursor, buffer.data(), bias, code16, b);
  length = size_t(cursor - (buffer.data() + offset));
  return b;
}

// What the branch operand must say of a decoded text: its mnemonic (what the
// text begins with behind lock and rep texts; string instructions add a size
// letter) and the number behind a branch mark {2}, {3}, {4} or {7} (up to a
// colon: a far pointer's selector).
inline void expectBranchLike(const TBranchOperand& b, const std::string& text) {
  std::string words = text;
  while (words.rfind("lock  ", 0) == 0 || words.rfind("repz  ", 0) == 0 ||
         words.rfind("repnz ", 0) == 0)
    words = words.substr(6);
  const std::string word = words.rfind("db ", 0) == 0 ? "" : words.substr(0, words.find(' '));
  EXPECT_EQ(std::string(b.mnemonic).empty(), word.empty()) << text;
  EXPECT_EQ(word.rfind(b.mnemonic, 0), 0u) << text;
  size_t at = std::string::npos;
  for (const char* mark : {"{2}", "{3}", "{4}", "{7}"})
    if ((at = text.find(mark)) != std::string::npos) break;
  EXPECT_EQ(b.present, at != std::string::npos) << text;
  if (at != std::string::npos) {
    EXPECT_EQ(b.value, uint32_t(std::strtoul(text.c_str() + at + 3, nullptr, 16))) << text;
  }
}
