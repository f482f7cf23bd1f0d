#include "asm/asm_syntax.h"

#include <cstring>

namespace {

constexpr char kRefMark = 0x1F;
constexpr char kColourMark = 0x1E;
constexpr char kSegmentAddressMark = 8;  // reference kind followed by a segment letter
constexpr char kNormalColour = char(0xFF);
const char kUndefinedSeg[] = "<undefined seg>";  // how the decoder names segment registers 6 and 7

const char* const kRegNames[3][8] = {
    {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"},
    {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"},
    {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"},
};
const char* const kSegNames[6] = {"es", "cs", "ss", "ds", "fs", "gs"};

constexpr int8_t kBx = 3, kBp = 5, kSi = 6, kDi = 7;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '?' ||
         c == '@';
}
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class TParser {
 public:
  TParser(TAsmLine& line, TAsmError& error) : line_(line), error_(error), p_(line.text) {}

  bool run();

 private:
  struct TWord {
    const char* start;
    size_t length;
    template <size_t N>
    bool is(const char (&s)[N]) const {
      return length == N - 1 && std::memcmp(start, s, N - 1) == 0;
    }
  };

  bool fail(const char* message, const char* piece = nullptr, size_t length = 0) {
    error_.message = message;
    error_.piece = piece;
    error_.pieceLength = length;
    return false;
  }
  void skipBlanks() {
    while (isBlank(*p_)) ++p_;
  }
  TWord peekWord() const {
    const char* q = p_;
    while (isWordChar(*q)) ++q;
    return {p_, size_t(q - p_)};
  }
  bool isArrow() const { return (p_[0] == '-' || p_[0] == '=') && p_[1] == '>'; }
  void skipAnnotation();
  bool operandsFollow();
  bool operand(TAsmOperand& op);
  bool memory(TAsmMemory& mem);
  bool number(TWord w, bool negative, TAsmNumber& n);
  bool registerWord(TWord w, TAsmOperand& op) const;
  static uint8_t sizeKeyword(TWord w);

  TAsmLine& line_;
  TAsmError& error_;
  const char* p_;
};

bool TParser::registerWord(TWord w, TAsmOperand& op) const {
  // Two-letter names of byte, word and segment registers; "e" + a word
  // register's name for dword registers; cr/dr/tr and a digit.
  auto twoLetters = [](const char* s) { return uint16_t(uint8_t(s[0]) | (uint8_t(s[1]) << 8)); };
  if (w.length == 2 || (w.length == 3 && w.start[0] == 'e')) {
    const uint16_t code = twoLetters(w.start + (w.length - 2));
    const int first = w.length == 2 ? 0 : 1;
    for (uint8_t size = uint8_t(first); size < 2; ++size)
      for (uint8_t r = 0; r < 8; ++r)
        if (code == twoLetters(kRegNames[size][r])) {
          op.type = TOperandType::Reg;
          op.size = uint8_t(size + first);
          op.reg = r;
          return true;
        }
    if (w.length == 2)
      for (uint8_t s = 0; s < 6; ++s)
        if (code == twoLetters(kSegNames[s])) {
          op.type = TOperandType::SegReg;
          op.reg = s;
          return true;
        }
    return false;
  }
  if (w.length == 3 && w.start[1] == 'r' && w.start[2] >= '0' && w.start[2] <= '7') {
    const char c = w.start[0];
    if (c == 'c' || c == 'd' || c == 't') {
      op.type = c == 'c'   ? TOperandType::ControlReg
                : c == 'd' ? TOperandType::DebugReg
                           : TOperandType::TestReg;
      op.reg = uint8_t(w.start[2] - '0');
      return true;
    }
  }
  return false;
}

// The size code of a keyword (the decoder's numbering), or kNoSize.
uint8_t TParser::sizeKeyword(TWord w) {
  if (w.is("byte")) return 0;
  if (w.is("word")) return 1;
  if (w.is("dword")) return 2;
  if (w.is("qword")) return 3;
  if (w.is("single")) return 4;
  if (w.is("double")) return 5;
  if (w.is("tbyte")) return 6;
  if (w.is("far")) return kFarSize;
  return kNoSize;
}

// Hexadecimal: bare digits, "0x" digits or digits "h".
bool TParser::number(TWord w, bool negative, TAsmNumber& n) {
  const char* s = w.start;
  size_t len = w.length;
  n.plain = true;
  if (len >= 2 && s[0] == '0' && s[1] == 'x') {
    s += 2;
    len -= 2;
    n.plain = false;
  } else if (len >= 2 && s[len - 1] == 'h') {
    --len;
    n.plain = false;
  }
  if (len == 0) return fail("not a number", w.start, w.length);
  uint64_t v = 0;
  for (size_t i = 0; i < len; ++i) {
    const int d = hexDigit(s[i]);
    if (d < 0) return fail("not a number", w.start, w.length);
    v = v * 16 + uint64_t(d);
    if (v > 0xFFFFFFFFu) return fail("number too large (more than 32 bits)", w.start, w.length);
  }
  n.value = negative ? -int64_t(v) : int64_t(v);
  n.negative = negative;
  n.digits = s;
  n.digitCount = uint8_t(len > 255 ? 255 : len);
  return true;
}

// "[" terms "]" with terms joined by '+' or '-': registers, factor*register,
// register*factor and numbers.
bool TParser::memory(TAsmMemory& mem) {
  const char* open = p_;
  ++p_;  // '['
  int8_t regs32[2] = {-1, -1};
  uint8_t factors[2] = {1, 1};
  int count32 = 0;
  bool bx = false, bp = false, si = false, di = false;
  int count16 = 0;
  int numbers = 0;
  bool first = true;
  mem.disp = 0;
  mem.hasNumber = false;
  mem.plainDigits = false;
  mem.digitCount = 0;
  for (;;) {
    skipBlanks();
    bool negative = false;
    if (*p_ == '+' || *p_ == '-') {
      negative = *p_ == '-';
      ++p_;
      skipBlanks();
    } else if (!first) {
      if (*p_ == ']') break;
      if (*p_ == 0) return fail("missing ']'", open, size_t(p_ - open));
      return fail("expected '+', '-' or ']' in the address", p_, 1);
    }
    first = false;
    TWord w = peekWord();
    if (w.length == 0) {
      if (*p_ == ']' || *p_ == 0)
        return fail("incomplete address", open, size_t(p_ - open) + (*p_ != 0));
      return fail("unexpected character in the address", p_, 1);
    }
    p_ += w.length;
    skipBlanks();
    TAsmOperand r{};
    uint8_t factor = 1;
    bool scaled = false;
    if (*p_ == '*') {  // factor*register or register*factor
      ++p_;
      skipBlanks();
      const TWord other = peekWord();
      if (other.length == 0)
        return fail("expected a register or a scale factor after '*'", p_, *p_ ? 1 : 0);
      p_ += other.length;
      const bool registerFirst = registerWord(w, r);
      if (!registerFirst && !registerWord(other, r))
        return fail("expected a register beside '*'", other.start, other.length);
      const TWord f = registerFirst ? other : w;
      TAsmNumber n{};
      if (!number(f, false, n)) return false;
      if (n.value != 1 && n.value != 2 && n.value != 4 && n.value != 8)
        return fail("scale must be 1, 2, 4 or 8", f.start, f.length);
      factor = uint8_t(n.value);
      scaled = true;
      w = registerFirst ? w : other;
    } else if (!registerWord(w, r)) {
      TAsmNumber n{};
      if (!number(w, false, n)) return false;
      mem.disp += negative ? -n.value : n.value;
      mem.hasNumber = true;
      ++numbers;
      mem.plainDigits = n.plain && !negative;
      mem.digitCount = n.digitCount;
      continue;
    }
    // A register term.
    if (negative) return fail("a register cannot be subtracted", w.start, w.length);
    if (r.type != TOperandType::Reg || r.size == 0)
      return fail("not an address register", w.start, w.length);
    if (r.size == 2) {
      if (count16)
        return fail("cannot mix 16-bit and 32-bit registers in an address", w.start, w.length);
      if (count32 == 2) return fail("too many registers in the address", w.start, w.length);
      regs32[count32] = int8_t(r.reg);
      factors[count32] = factor;
      ++count32;
    } else {
      if (count32)
        return fail("cannot mix 16-bit and 32-bit registers in an address", w.start, w.length);
      if (scaled) return fail("16-bit addresses have no scale factor", w.start, w.length);
      const int8_t reg = int8_t(r.reg);
      bool* slot = reg == kBx   ? &bx
                   : reg == kBp ? &bp
                   : reg == kSi ? &si
                   : reg == kDi ? &di
                                : nullptr;
      if (!slot) return fail("16-bit addresses take bx or bp, si or di", w.start, w.length);
      if (*slot || ++count16 > 2)
        return fail("16-bit addresses take bx or bp, si or di", w.start, w.length);
      *slot = true;
      if ((bx && bp) || (si && di))
        return fail("16-bit addresses take bx or bp, si or di", w.start, w.length);
    }
  }
  ++p_;  // ']'
  if (numbers > 1) mem.plainDigits = false;
  mem.base = mem.index = -1;
  mem.scale = 0;
  if (count16) {
    mem.addressing = 16;
    // The decoder's eight forms: bx+si bx+di bp+si bp+di si di bp bx.
    if (bx || bp)
      mem.base = int8_t(si ? (bx ? 0 : 2) : di ? (bx ? 1 : 3) : (bx ? 7 : 6));
    else
      mem.base = int8_t(si ? 4 : 5);
    return true;
  }
  if (count32 == 0) {
    mem.addressing = 0;
    if (!mem.hasNumber) return fail("empty address", open, size_t(p_ - open));
    return true;
  }
  mem.addressing = 32;
  auto scaleOf = [](uint8_t f) { return uint8_t(f == 1 ? 0 : f == 2 ? 1 : f == 4 ? 2 : 3); };
  if (count32 == 1) {
    if (factors[0] == 1) {
      mem.base = regs32[0];
    } else {
      mem.index = regs32[0];
      mem.scale = scaleOf(factors[0]);
    }
  } else {
    if (factors[0] != 1 && factors[1] != 1)
      return fail("only one register of an address can be scaled", open, size_t(p_ - open));
    // The decoder prints the base first; a scaled register is the index.
    int b = factors[0] == 1 ? 0 : 1;
    if (factors[0] == 1 && factors[1] == 1 && regs32[1] == 4 && regs32[0] != 4)
      b = 1;  // esp cannot index
    mem.base = regs32[b];
    mem.index = regs32[1 - b];
    mem.scale = scaleOf(factors[1 - b]);
  }
  if (mem.index == 4) return fail("esp cannot be an index register", open, size_t(p_ - open));
  return true;
}

bool TParser::operand(TAsmOperand& op) {
  op = TAsmOperand{};
  op.mem.size = kNoSize;
  op.mem.segment = -1;
  skipBlanks();
  TWord w = peekWord();
  // Size keyword, with or without "ptr".
  const uint8_t size = sizeKeyword(w);
  if (size != kNoSize) {
    op.mem.size = size;
    p_ += w.length;
    skipBlanks();
    w = peekWord();
    if (w.is("ptr")) {
      p_ += w.length;
      skipBlanks();
      w = peekWord();
    }
  }
  if (op.mem.size == kNoSize && w.is("short")) {
    op.isShort = true;
    p_ += w.length;
    skipBlanks();
    w = peekWord();
  }
  // Segment override in front of an address.
  if (w.length == 2) {
    TAsmOperand seg{};
    const char* after = p_ + 2;
    while (isBlank(*after)) ++after;
    if (registerWord(w, seg) && seg.type == TOperandType::SegReg && *after == ':') {
      op.mem.segment = int8_t(seg.reg);
      p_ = after + 1;
      skipBlanks();
      w = peekWord();
    }
  }
  if (*p_ == '[') {
    if (op.isShort) return fail("short goes with a branch target", p_, 1);
    op.type = TOperandType::Mem;
    const uint8_t size = op.mem.size;
    const int8_t segment = op.mem.segment;
    if (!memory(op.mem)) return false;
    op.mem.size = size;
    op.mem.segment = segment;
    return true;
  }
  if (op.mem.size != kNoSize || op.mem.segment >= 0)
    return fail("expected an address in brackets", p_, *p_ ? 1 : 0);
  if (*p_ == '<' && !std::strncmp(p_, kUndefinedSeg, sizeof kUndefinedSeg - 1)) {
    p_ += sizeof kUndefinedSeg - 1;
    op.type = TOperandType::SegReg;
    op.reg = 6;
    return true;
  }
  bool negative = false;
  if (*p_ == '-') {
    negative = true;
    ++p_;
    skipBlanks();
    w = peekWord();
  }
  if (w.length == 0) {
    if (*p_ == 0 || *p_ == ',') return fail("missing operand");
    return fail("unexpected character", p_, 1);
  }
  p_ += w.length;
  if (!negative && registerWord(w, op)) {
    if (op.isShort) return fail("short goes with a branch target", w.start, w.length);
    return true;
  }
  if (!negative && w.is("st")) {
    op.type = TOperandType::St;
    op.bareSt = true;
    skipBlanks();
    if (*p_ == '(') {
      ++p_;
      skipBlanks();
      if (*p_ < '0' || *p_ > '7') return fail("st(i) takes a number 0 to 7", p_, *p_ ? 1 : 0);
      op.reg = uint8_t(*p_++ - '0');
      skipBlanks();
      if (*p_ != ')') return fail("missing ')'", p_, *p_ ? 1 : 0);
      ++p_;
      op.bareSt = false;
    }
    return true;
  }
  if (!number(w, negative, op.num)) return false;
  skipBlanks();
  if (*p_ == ':') {  // selector:offset
    ++p_;
    skipBlanks();
    TWord o = peekWord();
    if (negative || o.length == 0)
      return fail("far pointers are written selector:offset", w.start, w.length);
    op.sel = op.num;
    if (!number(o, false, op.num)) return false;
    p_ += o.length;
    op.type = TOperandType::Far;
    return true;
  }
  op.type = TOperandType::Number;
  return true;
}

bool TParser::run() {
  line_.locks = 0;
  line_.rep = 0;
  line_.lockFirst = false;
  line_.operandCount = 0;
  line_.mnemonic[0] = 0;
  skipBlanks();
  if (*p_ == 0) return fail("nothing to assemble");
  TWord w;
  for (;;) {
    w = peekWord();
    if (w.length == 0) return fail("expected an instruction", p_, 1);
    p_ += w.length;
    skipBlanks();
    if (w.is("lock")) {
      if (!line_.rep) line_.lockFirst = true;
      ++line_.locks;
      continue;
    }
    const bool repz = w.is("rep") || w.is("repz") || w.is("repe");
    const bool repnz = w.is("repnz") || w.is("repne");
    if (repz || repnz) {
      if (line_.rep) return fail("two rep prefixes", w.start, w.length);
      line_.rep = repz ? 0xF3 : 0xF2;
      continue;
    }
    break;
  }
  if (w.length >= kAsmMnemonicCap) return fail("unknown instruction", w.start, w.length);
  std::memcpy(line_.mnemonic, w.start, w.length);
  line_.mnemonic[w.length] = 0;
  if (w.is("db") || w.is("dw") || w.is("dd"))
    return fail("data is not an instruction (patch bytes instead)", w.start, w.length);
  skipBlanks();
  if (*p_ == 0) return true;
  for (;;) {
    if (line_.operandCount == kAsmMaxOperands) return fail("too many operands", p_, 1);
    if (!operand(line_.ops[line_.operandCount])) return false;
    ++line_.operandCount;
    skipBlanks();
    if (isArrow()) skipAnnotation();
    if (*p_ == 0) return true;
    if (*p_ != ',') return fail("expected ',' between operands", p_, 1);
    ++p_;
  }
}

// At "->" or "=>": the note runs up to the first ',' behind which the rest of
// the line reads as operands (a label or a string preview may hold commas of
// its own), else to the end of the line.
void TParser::skipAnnotation() {
  for (const char* q = p_ + 2; *q; ++q) {
    if (*q != ',') continue;
    p_ = q + 1;
    if (operandsFollow()) {
      p_ = q;
      return;
    }
  }
  p_ += std::strlen(p_);
}

// Whether operands, separated by ',' and each perhaps followed by a note,
// fill the rest of the line from p_. Leaves p_ anywhere; nothing is kept.
bool TParser::operandsFollow() {
  const TAsmError saved = error_;
  TAsmOperand scratch;
  bool ok = false;
  for (int n = 0; n < kAsmMaxOperands; ++n) {
    if (!operand(scratch)) break;
    skipBlanks();
    if (*p_ == 0 || isArrow()) {
      ok = true;
      break;
    }
    if (*p_ != ',') break;
    ++p_;
  }
  error_ = saved;
  return ok;
}

// Copies text into line.text: lower case, without the listing's marks (nor
// the segment letter behind a 16-bit address mark, nor the coloured notes:
// import names, previews, labels). Notes that do not fit are dropped.
bool cleanText(const char* text, TAsmLine& line, TAsmError& error) {
  size_t n = 0;
  bool noted = false;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    if (c == kColourMark && p[1] && p[1] != kNormalColour) {
      while (*p && !(p[0] == kColourMark && p[1] == kNormalColour)) ++p;
      if (!*p) break;
      ++p;
      continue;
    }
    if (c == kRefMark || c == kColourMark) {
      if (!p[1]) break;
      const bool letter = c == kRefMark && p[1] == kSegmentAddressMark && p[2];
      p += letter ? 2 : 1;
      continue;
    }
    if ((c == '-' || c == '=') && p[1] == '>') noted = true;
    if (n + 1 >= kAsmTextCap) {
      if (noted) break;
      error.message = "text too long";
      return false;
    }
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    line.text[n++] = c;
  }
  line.text[n] = 0;
  return true;
}

}  // namespace

bool parseAsmLine(const char* text, TAsmLine& line, TAsmError& error) {
  error = TAsmError{};
  if (!text) {
    line.text[0] = 0;
    error.message = "nothing to assemble";
    return false;
  }
  if (!cleanText(text, line, error)) return false;
  return TParser(line, error).run();
}
