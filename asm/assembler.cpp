#include "asm/assembler.h"

#include <cstdio>
#include <cstring>

#include "asm/asm_forms.h"
#include "asm/asm_syntax.h"
#include "disasm/decoder.h"
#include "disasm/opcode_tables.h"

namespace {

constexpr uint8_t kSizeByte = 0, kSizeWord = 1, kSizeDword = 2;
const uint8_t kSegmentPrefix[6] = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65};

// Refusal reasons; a candidate that gets further before it fails tells more
// about what is wrong, so the reason of highest rank is reported.
struct TReason {
  const char* message;  // "%s" stands for the mnemonic
  int rank;
};
constexpr TReason kOperandCount{"wrong number of operands for %s", 1};
constexpr TReason kOperandsDoNotFit{"operands do not fit %s", 2};
constexpr TReason kImmediateRange{"number out of range for %s", 3};
constexpr TReason kDisplacementRange{"displacement out of range", 3};
constexpr TReason kAddressSizes{"the operands use different address sizes", 4};
constexpr TReason kShortOnly{"short goes only with a jump that has a short form", 4};
constexpr TReason kShortReach{"branch target out of reach of the short form", 5};
constexpr TReason kSegmentReach{"branch target out of reach (outside the 64 KB of the instruction)",
                                5};
constexpr TReason kRepNotString{"rep prefixes go only before string and x87 instructions", 6};
constexpr TReason kTooLong{"instruction longer than 15 bytes", 6};

// One way of encoding the line, as far as it got.
struct TCandidate {
  uint8_t bytes[kAsmMaxLength];
  int length;
  int tier;           // 0 operand size from the mode or the operands; 1 from a number's range
  int mismatches;     // numbers this form prints other than they were typed
  uint8_t unsizedAs;  // size code an operand without size keyword takes here, kNoSize if none
};

struct TBuild {
  // ModRM and what follows it.
  bool hasModRM;
  uint8_t mod, reg, rm;
  bool hasSib;
  uint8_t sib;
  int dispSize;
  uint32_t disp;
  // Bytes behind ModRM in operand order: immediates, relative targets, far pointers.
  uint8_t tail[12];
  int tailLength;
  int relAt, relSize;  // relative displacement within tail (-1 none)
  uint32_t target;
  uint8_t addressSize;  // 0 not used, 16 or 32
  int8_t segment;       // override prefix to emit, -1 none
  bool sizeEvidence;    // a register or keyword fixes the operand size
  bool wideNumber;      // a number written with eight digits asks for dword
  int mismatches;
  uint8_t unsizedAs;
};

class TEncoder {
 public:
  TEncoder(const TAsmLine& line, uint32_t address, bool code16)
      : line_(line),
        address_(address),
        code16_(code16),
        defaultSize_(code16 ? kSizeWord : kSizeDword) {}

  int run(uint8_t* out, char* reason, size_t reasonCap);

 private:
  bool tryForm(const TAsmForm& f, uint8_t opSize, TCandidate& c);
  bool operand(const TAsmForm& f, uint8_t kind, const TAsmOperand* o, uint8_t opSize, TBuild& b);
  bool memoryOperand(const TAsmOperand& o, uint8_t sizeCode, bool sizedByOperandSize, TBuild& b);
  bool encodeMemory(const TAsmMemory& m, TBuild& b);
  bool setAddressSize(uint8_t size, TBuild& b);
  bool immediate(const TAsmOperand* o, unsigned width, bool signExtended8, uint8_t opSize,
                 TBuild& b);
  bool fail(TReason r) {
    if (r.rank > reason_.rank) reason_ = r;
    return false;
  }
  void pushTail(TBuild& b, uint32_t v, int width) {
    for (int i = 0; i < width; ++i) b.tail[b.tailLength++] = uint8_t(v >> (8 * i));
  }

  const TAsmLine& line_;
  uint32_t address_;
  bool code16_;
  uint8_t defaultSize_;
  TReason reason_{nullptr, 0};
};

// ---- numbers ----

// The number's digits equal what the decoder prints for v with at least
// `width` digits ("%.<width>X"; the parser has made them lower case).
bool printsAs(const TAsmNumber& n, uint32_t v, int width, bool negative) {
  if (!n.plain || n.negative != negative) return false;
  int digits = 1;
  while (digits < 8 && (v >> (4 * digits))) ++digits;
  if (digits < width) digits = width;
  if (n.digitCount != digits) return false;
  for (int i = 0; i < digits; ++i)
    if (n.digits[i] != "0123456789abcdef"[(v >> (4 * (digits - 1 - i))) & 15]) return false;
  return true;
}

// v written for an operand of `bytes` bytes: in range as unsigned or signed.
bool fitsWidth(int64_t v, unsigned bytes) {
  const int64_t bits = 8 * int64_t(bytes);
  return v >= -(int64_t(1) << (bits - 1)) && v < (int64_t(1) << bits);
}

// The processor sign-extends a byte to the operand size: v must be one of the
// values that this gives.
bool fitsSignExtended8(int64_t v, uint8_t opSize) {
  const unsigned bytes = opSize == kSizeWord ? 2 : 4;
  if (!fitsWidth(v, bytes)) return false;
  const uint32_t mask = bytes == 2 ? 0xFFFFu : 0xFFFFFFFFu;
  const uint32_t u = uint32_t(v) & mask;
  return (uint32_t(int32_t(int8_t(u & 0xFF))) & mask) == u;
}

bool TEncoder::immediate(const TAsmOperand* o, unsigned width, bool signExtended8, uint8_t opSize,
                         TBuild& b) {
  if (!o || o->type != TOperandType::Number || o->isShort) return fail(kOperandsDoNotFit);
  const TAsmNumber& n = o->num;
  const bool fits = signExtended8 ? fitsSignExtended8(n.value, opSize) : fitsWidth(n.value, width);
  // A byte the listing prints as it was typed fits even when the processor
  // extends its sign ("push FF" is 6A FF).
  const uint32_t encoded = uint32_t(n.value) & (width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1);
  const bool exact = printsAs(n, encoded, int(width * 2), false);
  if (!fits && !(width == 1 && exact)) return fail(kImmediateRange);
  if (!exact) ++b.mismatches;
  if (width == 4 && n.plain && n.digitCount == 8) b.wideNumber = true;
  pushTail(b, encoded, int(width));
  return true;
}

// ---- memory ----

bool TEncoder::setAddressSize(uint8_t size, TBuild& b) {
  if (b.addressSize && b.addressSize != size) return fail(kAddressSizes);
  b.addressSize = size;
  return true;
}

// The address size a direct address asks for: four or eight plain digits as
// the listing prints 16- and 32-bit addresses, else the mode's unless the
// address needs 32 bits.
uint8_t directAddressSize(const TAsmMemory& m, bool code16) {
  if (m.plainDigits && m.digitCount == 4 && m.disp <= 0xFFFF) return 16;
  if (m.plainDigits && m.digitCount == 8) return 32;
  if (m.disp > 0xFFFF) return 32;
  return code16 ? 16 : 32;
}

bool TEncoder::encodeMemory(const TAsmMemory& m, TBuild& b) {
  const uint8_t size = m.addressing ? m.addressing : directAddressSize(m, code16_);
  if (!setAddressSize(size, b)) return false;
  b.hasModRM = true;
  b.hasSib = false;
  if (size == 16) {
    if (m.disp < -0x8000 || m.disp > 0xFFFF || (m.addressing == 0 && m.disp < 0))
      return fail(kDisplacementRange);
    const int16_t d = int16_t(uint16_t(m.disp));
    b.disp = uint32_t(int32_t(d));
    if (m.addressing == 0) {
      b.mod = 0;
      b.rm = 6;
      b.dispSize = 2;
      return true;
    }
    b.rm = uint8_t(m.base);
    if (d == 0 && m.base != 6)
      b.mod = 0, b.dispSize = 0;
    else if (d >= -128 && d <= 127)
      b.mod = 1, b.dispSize = 1;
    else
      b.mod = 2, b.dispSize = 2;
    return true;
  }
  if (m.disp < -0x80000000LL || m.disp > 0xFFFFFFFFLL || (m.addressing == 0 && m.disp < 0))
    return fail(kDisplacementRange);
  const int32_t d = int32_t(uint32_t(m.disp));
  b.disp = uint32_t(d);
  if (m.base < 0) {
    b.mod = 0;
    b.dispSize = 4;
    if (m.index < 0) {
      b.rm = 5;
    } else {
      b.rm = 4;
      b.hasSib = true;
      b.sib = uint8_t((m.scale << 6) | (m.index << 3) | 5);
    }
    return true;
  }
  if (d == 0 && m.base != 5)
    b.mod = 0, b.dispSize = 0;
  else if (d >= -128 && d <= 127)
    b.mod = 1, b.dispSize = 1;
  else
    b.mod = 2, b.dispSize = 4;
  if (m.index >= 0 || m.base == 4) {
    b.rm = 4;
    b.hasSib = true;
    b.sib = uint8_t((m.scale << 6) | ((m.index >= 0 ? m.index : 4) << 3) | m.base);
  } else {
    b.rm = uint8_t(m.base);
  }
  return true;
}

// The size keyword fits the size code the form prints (x87 single and double
// also answer to dword and qword).
bool sizeKeywordFits(uint8_t typed, uint8_t code) {
  if (typed == kNoSize) return code != kFarSize;
  if (code == 8) return false;  // environment and state images print no keyword
  return typed == code || (code == 4 && typed == 2) || (code == 5 && typed == 3);
}

bool TEncoder::memoryOperand(const TAsmOperand& o, uint8_t sizeCode, bool sizedByOperandSize,
                             TBuild& b) {
  if (o.type == TOperandType::Reg) {
    if (sizeCode > kSizeDword || o.size != sizeCode) return fail(kOperandsDoNotFit);
    b.hasModRM = true;
    b.mod = 3;
    b.rm = o.reg;
    if (sizedByOperandSize) b.sizeEvidence = true;
    return true;
  }
  if (o.type != TOperandType::Mem) return fail(kOperandsDoNotFit);
  if (!sizeKeywordFits(o.mem.size, sizeCode)) return fail(kOperandsDoNotFit);
  if (o.mem.size == kNoSize) {
    if (sizeCode != 8) b.unsizedAs = sizeCode;
  } else if (sizedByOperandSize) {
    b.sizeEvidence = true;
  }
  if (!encodeMemory(o.mem, b)) return false;
  if (o.mem.segment >= 0) b.segment = o.mem.segment;
  return true;
}

// [ebx]/[bx], [esi]/[si], [edi]/[di] of xlat and the string instructions.
bool stringAddress(const TAsmMemory& m, int8_t reg32, int8_t form16) {
  if (m.hasNumber || m.index >= 0) return false;
  return (m.addressing == 32 && m.base == reg32) || (m.addressing == 16 && m.base == form16);
}

bool TEncoder::operand(const TAsmForm& f, uint8_t kind, const TAsmOperand* o, uint8_t opSize,
                       TBuild& b) {
  // Operands the line may leave out (the accumulator of mul, the addresses of
  // movsb) come as null and produce no bytes.
  auto isReg = [&](uint8_t size, int number) {
    return o && o->type == TOperandType::Reg && o->size == size && (number < 0 || o->reg == number);
  };
  switch (kind) {
    case RegMem:
      if (!o) return fail(kOperandsDoNotFit);
      return memoryOperand(*o, opSize, true, b);
    case RegMemTarget:
      if (!o) return fail(kOperandsDoNotFit);
      return memoryOperand(*o, f.sizeKind == SizeFar ? kFarSize : opSize, true, b);
    case RegMem16:
      if (!o) return fail(kOperandsDoNotFit);
      return memoryOperand(*o, kSizeWord, false, b);
    case RegMem8:
      if (!o) return fail(kOperandsDoNotFit);
      return memoryOperand(*o, kSizeByte, false, b);
    case KindFpuMemory:
      if (!o || o->type != TOperandType::Mem) return fail(kOperandsDoNotFit);
      return memoryOperand(*o, f.memSize, false, b);
    case RegField:
    case RegField16:
      if (!isReg(kind == RegField16 ? kSizeWord : opSize, -1)) return fail(kOperandsDoNotFit);
      b.reg = o->reg;
      if (kind == RegField) b.sizeEvidence = true;
      return true;
    case RegInOpcode:
      // Each of the eight opcodes is its own table entry (0x90 is nop, not xchg).
      if (!isReg(opSize, f.opcode & 7)) return fail(kOperandsDoNotFit);
      b.sizeEvidence = true;
      return true;
    case SegRegField:
      if (!o || o->type != TOperandType::SegReg) return fail(kOperandsDoNotFit);
      b.reg = o->reg;
      return true;
    case SegRegInOpcode:
      if (!o || o->type != TOperandType::SegReg || o->reg != ((f.opcode >> 3) & 7))
        return fail(kOperandsDoNotFit);
      return true;
    case Accumulator:
      if (!o) return true;
      if (!isReg(opSize, 0)) return fail(kOperandsDoNotFit);
      b.sizeEvidence = true;
      return true;
    case KindAx: return isReg(kSizeWord, 0) ? true : fail(kOperandsDoNotFit);
    case RegCL: return isReg(kSizeByte, 1) ? true : fail(kOperandsDoNotFit);
    case RegDX: return isReg(kSizeWord, 2) ? true : fail(kOperandsDoNotFit);
    case XlatSource:
    case StringSource:
    case StringDest: {
      if (!o) return true;
      if (o->type != TOperandType::Mem) return fail(kOperandsDoNotFit);
      const TAsmMemory& m = o->mem;
      const bool fits = kind == XlatSource     ? stringAddress(m, 3, 7)
                        : kind == StringSource ? stringAddress(m, 6, 4)
                                               : stringAddress(m, 7, 5);
      if (!fits || (m.size != kNoSize && m.size != opSize)) return fail(kOperandsDoNotFit);
      if (kind == StringDest) {
        if (m.segment > 0) return fail(kOperandsDoNotFit);  // always es
      } else if (m.segment >= 0) {
        b.segment = m.segment;
      }
      return setAddressSize(m.addressing, b);
    }
    case ControlReg:
    case DebugReg:
    case TestReg: {
      const TOperandType t = kind == ControlReg ? TOperandType::ControlReg
                             : kind == DebugReg ? TOperandType::DebugReg
                                                : TOperandType::TestReg;
      if (!o || o->type != t) return fail(kOperandsDoNotFit);
      b.reg = o->reg;
      return true;
    }
    case ImmAddress:
    case ImmValue:
      return immediate(o, opSize == kSizeByte ? 1 : opSize == kSizeWord ? 2 : 4, false, opSize, b);
    case Imm8:
      // push imm8 is sign-extended by the processor; the other byte
      // immediates (ports, counts, int numbers) are taken as they are.
      return immediate(o, 1, f.opcode == 0x6A && !(f.flags & FormTwoByte), opSize, b);
    case Imm8Signed: {
      if (!o || o->type != TOperandType::Number || o->isShort) return fail(kOperandsDoNotFit);
      const TAsmNumber& n = o->num;
      if (!fitsSignExtended8(n.value, opSize)) return fail(kImmediateRange);
      const int8_t v = int8_t(uint32_t(n.value) & 0xFF);
      if (!printsAs(n, uint32_t(v < 0 ? -v : v), 2, v < 0)) ++b.mismatches;
      pushTail(b, uint8_t(v), 1);
      return true;
    }
    case Imm16: return immediate(o, 2, false, opSize, b);
    case Imm32: return immediate(o, 4, false, opSize, b);
    case One:
    case Three: {
      const int value = kind == One ? 1 : 3;
      if (!o || o->type != TOperandType::Number || o->num.value != value)
        return fail(kOperandsDoNotFit);
      if (!(o->num.plain && o->num.digitCount == 1)) ++b.mismatches;
      return true;
    }
    case MemOffset: {
      if (!o || o->type != TOperandType::Mem || o->mem.addressing != 0)
        return fail(kOperandsDoNotFit);
      const TAsmMemory& m = o->mem;
      if (!sizeKeywordFits(m.size, opSize)) return fail(kOperandsDoNotFit);
      if (m.size == kNoSize)
        b.unsizedAs = opSize;
      else
        b.sizeEvidence = true;
      const uint8_t size = directAddressSize(m, code16_);
      if (m.disp < 0 || (size == 16 && m.disp > 0xFFFF)) return fail(kDisplacementRange);
      if (!setAddressSize(size, b)) return false;
      if (m.segment >= 0) b.segment = m.segment;
      pushTail(b, uint32_t(m.disp), size == 16 ? 2 : 4);
      return true;
    }
    case Rel8:
    case RelJump:
    case RelCall: {
      if (!o || o->type != TOperandType::Number || o->num.negative) return fail(kOperandsDoNotFit);
      if (o->isShort && kind != Rel8) return fail(kShortOnly);
      b.relSize = kind == Rel8 ? 1 : opSize == kSizeWord ? 2 : 4;
      b.relAt = b.tailLength;
      b.target = uint32_t(o->num.value);
      pushTail(b, 0, b.relSize);
      return true;
    }
    case FarPointer: {
      if (!o || o->type != TOperandType::Far) return fail(kOperandsDoNotFit);
      const unsigned width = opSize == kSizeWord ? 2 : 4;
      if (o->sel.value < 0 || o->sel.value > 0xFFFF || o->num.value < 0 ||
          !fitsWidth(o->num.value, width))
        return fail(kImmediateRange);
      const bool exact = printsAs(o->sel, uint32_t(o->sel.value), 4, false) &&
                         printsAs(o->num, uint32_t(o->num.value), int(width * 2), false);
      if (exact)
        b.sizeEvidence = true;
      else
        ++b.mismatches;
      pushTail(b, uint32_t(o->num.value), int(width));
      pushTail(b, uint32_t(o->sel.value), 2);
      return true;
    }
    case KindStI:
      if (!o || o->type != TOperandType::St) return fail(kOperandsDoNotFit);
      if (o->bareSt) ++b.mismatches;
      b.hasModRM = true;
      b.mod = 3;
      b.rm = o->reg;
      return true;
    case KindSt:
      if (!o || o->type != TOperandType::St || o->reg != 0) return fail(kOperandsDoNotFit);
      if (!o->bareSt) ++b.mismatches;
      return true;
    default: return fail(kOperandsDoNotFit);
  }
}

// ---- one form ----

bool TEncoder::tryForm(const TAsmForm& f, uint8_t opSize, TCandidate& c) {
  uint8_t kinds[4];
  int n = 0;
  for (uint32_t ops = f.operands; ops; ops <<= 8)
    if (ops >> 24) kinds[n++] = uint8_t(ops >> 24);
  // Which typed operand goes with which kind.
  const TAsmOperand* bound[4] = {nullptr, nullptr, nullptr, nullptr};
  const int typed = line_.operandCount;
  if (typed == n) {
    for (int i = 0; i < n; ++i) bound[i] = &line_.ops[i];
  } else if (typed == 0 && (f.flags & FormStringLetter)) {
    // "movsb": the addresses are implied.
  } else if (typed == n - 1 && (f.flags & FormAccumulatorOptional)) {
    for (int i = 1; i < n; ++i) bound[i] = &line_.ops[i - 1];
  } else {
    return fail(kOperandCount);
  }
  // The decoder takes rep only before string and x87 instructions.
  if (line_.rep && !(f.flags & (FormStringLetter | FormFpu))) return fail(kRepNotString);

  TBuild b{};
  b.relAt = -1;
  b.segment = -1;
  b.unsizedAs = kNoSize;
  b.reg = f.reg >= 0 ? uint8_t(f.reg) : 0;
  b.hasModRM = f.needsModRM;
  for (int i = 0; i < n; ++i) {
    if (!operand(f, kinds[i], bound[i], opSize, b)) return false;
  }
  if ((f.flags & FormWrittenAccumulatorLast) && bound[0]) ++b.mismatches;
  if (f.sizeByName) b.sizeEvidence = true;

  // Prefixes, opcode, ModRM and the rest: at most 14 lock/rep bytes, three
  // more prefixes, two opcode bytes, ModRM, SIB, four of displacement and six
  // behind them fit the buffer; the length is checked after.
  if (line_.locks + (line_.rep ? 1 : 0) >= kAsmMaxLength) return fail(kTooLong);
  uint8_t buf[40];
  uint8_t* p = buf;
  for (int i = 0; i < line_.locks && line_.lockFirst; ++i) *p++ = 0xF0;
  if (line_.rep) *p++ = line_.rep;
  for (int i = 0; i < line_.locks && !line_.lockFirst; ++i) *p++ = 0xF0;
  if (b.segment >= 0) *p++ = kSegmentPrefix[b.segment];
  if (opSize != kSizeByte && opSize != defaultSize_ && f.sizeKind != SizeWord) *p++ = 0x66;
  if (b.addressSize && b.addressSize != (code16_ ? 16 : 32)) *p++ = 0x67;
  if (f.flags & FormTwoByte) *p++ = 0x0F;
  *p++ = f.opcode;
  if (f.flags & FormFixedModRM) {
    *p++ = f.modrm;
  } else if (b.hasModRM) {
    *p++ = uint8_t((b.mod << 6) | (b.reg << 3) | b.rm);
    if (b.hasSib) *p++ = b.sib;
    for (int i = 0; i < b.dispSize; ++i) *p++ = uint8_t(b.disp >> (8 * i));
  }
  uint8_t* tail = p;
  for (int i = 0; i < b.tailLength; ++i) *p++ = b.tail[i];
  const int length = int(p - buf);
  if (length > kAsmMaxLength) return fail(kTooLong);

  if (b.relAt >= 0) {
    // As the decoder computes targets: from the next instruction, and with
    // word operand size only the low word moves.
    const uint32_t next = address_ + uint32_t(length);
    int32_t d;
    if (opSize == kSizeWord) {
      if ((b.target ^ next) & 0xFFFF0000u) return fail(kSegmentReach);
      d = int16_t(uint16_t(b.target - next));
    } else {
      d = int32_t(b.target - next);
    }
    if (b.relSize == 1 && (d < -128 || d > 127)) return fail(kShortReach);
    for (int i = 0; i < b.relSize; ++i) tail[b.relAt + i] = uint8_t(uint32_t(d) >> (8 * i));
  }

  std::memcpy(c.bytes, buf, size_t(length));
  c.length = length;
  c.mismatches = b.mismatches;
  c.unsizedAs = b.unsizedAs;
  // The mode's operand size needs no reason; the other one needs a register,
  // a keyword or the mnemonic, or else a number too large for the mode's size.
  c.tier = (opSize == defaultSize_ || opSize == kSizeByte || f.sizeKind == SizeWord ||
            b.sizeEvidence || (b.wideNumber && opSize == kSizeDword))
               ? 0
               : 1;
  return true;
}

// The operand sizes worth trying for a form.
int operandSizes(const TAsmForm& f, uint8_t defaultSize, uint8_t sizes[2]) {
  if (f.sizeByName) {
    sizes[0] = f.sizeByName;
    return 1;
  }
  switch (f.sizeKind) {
    case SizeByte: sizes[0] = kSizeByte; return 1;
    case SizeWord: sizes[0] = kSizeWord; return 1;
    case SizeOperand: break;
    default: {
      // Far pointers follow the operand size, and so may branches of 16-bit
      // code that leave its 64 KB; other sizeless forms keep the mode's (a
      // 16-bit branch in 32-bit code would cut EIP).
      bool far = false, branch = false;
      for (uint32_t ops = f.operands; ops; ops <<= 8) {
        const uint8_t kind = uint8_t(ops >> 24);
        far = far || kind == FarPointer;
        branch = branch || kind == Rel8 || kind == RelJump || kind == RelCall;
      }
      if (!far && !(branch && defaultSize == kSizeWord)) {
        sizes[0] = defaultSize;
        return 1;
      }
      break;
    }
  }
  sizes[0] = defaultSize;
  sizes[1] = defaultSize == kSizeWord ? kSizeDword : kSizeWord;
  return 2;
}

void writeReason(char* out, size_t cap, const char* message, const char* piece,
                 size_t pieceLength) {
  if (!out || cap == 0) return;
  if (piece && pieceLength)
    std::snprintf(out, cap, "%s: %.*s", message, int(pieceLength), piece);
  else
    std::snprintf(out, cap, "%s", message);
}

void unknownSizeReason(char* out, size_t cap, unsigned sizes) {
  if (!out || cap == 0) return;
  char text[kAsmReasonCap] = "operand size unknown: add ";
  int listed = 0, total = 0;
  for (unsigned code = 0; code < 10; ++code) total += (sizes >> code) & 1;
  for (unsigned code = 0; code < 10; ++code) {
    if (!((sizes >> code) & 1)) continue;
    if (listed) std::strcat(text, listed + 1 == total ? " or " : ", ");
    std::strcat(text, memSizeKeyword(code));
    text[std::strlen(text) - 1] = 0;  // the keyword's trailing blank
    ++listed;
  }
  std::strcat(text, "?");
  std::snprintf(out, cap, "%s", text);
}

int TEncoder::run(uint8_t* out, char* reason, size_t reasonCap) {
  size_t count = 0;
  const TAsmForm* forms = findAsmForms(line_.mnemonic, count);
  if (!count) {
    writeReason(reason, reasonCap, "unknown instruction", line_.mnemonic,
                std::strlen(line_.mnemonic));
    return 0;
  }
  TCandidate best{};
  bool found = false;
  unsigned sizesTier[2] = {0, 0};  // size codes taken by an operand without keyword, per tier
  for (size_t i = 0; i < count; ++i) {
    uint8_t sizes[2];
    const int ns = operandSizes(forms[i], defaultSize_, sizes);
    for (int s = 0; s < ns; ++s) {
      TCandidate c;
      if (!tryForm(forms[i], sizes[s], c)) continue;
      if (c.unsizedAs != kNoSize) sizesTier[c.tier] |= 1u << c.unsizedAs;
      const bool better = !found || c.tier < best.tier ||
                          (c.tier == best.tier &&
                           (c.mismatches < best.mismatches ||
                            (c.mismatches == best.mismatches && c.length < best.length)));
      if (better) best = c;
      found = true;
    }
  }
  if (!found) {
    const TReason r = reason_.message ? reason_ : kOperandsDoNotFit;
    if (reason && reasonCap) std::snprintf(reason, reasonCap, r.message, line_.mnemonic);
    return 0;
  }
  const unsigned chosenSizes = sizesTier[best.tier];
  if (chosenSizes & (chosenSizes - 1)) {
    unknownSizeReason(reason, reasonCap, sizesTier[0] | sizesTier[1]);
    return 0;
  }

  // The decoder must read the bytes back as one instruction of the same
  // length (an undefined one is one byte long, and no form of one byte is
  // undefined); anything else would be a fault of the tables' inversion.
  uint8_t check[kAsmMaxLength + 16] = {};
  std::memcpy(check, best.bytes, size_t(best.length));
  const uint8_t* cursor = check;
  decodeInstruction(cursor, DecodeLength, check, 0, nullptr, 0, code16_, nullptr, nullptr);
  if (cursor - check != best.length) {
    writeReason(reason, reasonCap, "internal error: the decoder does not read the encoding back",
                nullptr, 0);
    return 0;
  }
  std::memcpy(out, best.bytes, size_t(best.length));
  return best.length;
}

}  // namespace

int assembleInstruction(const char* text, uint32_t address, bool code16, uint8_t* out, char* reason,
                        size_t reasonCap) {
  if (reason && reasonCap) reason[0] = 0;
  TAsmLine line;
  TAsmError error;
  if (!parseAsmLine(text, line, error)) {
    writeReason(reason, reasonCap, error.message, error.piece, error.pieceLength);
    return 0;
  }
  return TEncoder(line, address, code16).run(out, reason, reasonCap);
}
