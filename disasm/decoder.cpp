#include "disasm/decoder.h"

#include <cstring>

#include "disasm/annotation.h"
#include "disasm/marks.h"
#include "disasm/opcode_tables.h"

namespace {

constexpr uint32_t kNotInFile = 0xFFFFFFFF;
// Room the annotation gets for one piece of text behind a value or a branch.
constexpr size_t kValueNoteCap = 400;
constexpr size_t kBranchNoteCap = 120;

const char* const kRegNames[3][8] = {
    {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"},
    {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"},
    {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"},
};
const char* const kSegNames[8] = {
    "es", "cs", "ss", "ds", "fs", "gs", "<undefined seg>", "<undefined seg>"};
const char* const kBase16[8] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};
const char kHexDigits[] = "0123456789ABCDEF";

struct ModRMOperand {
  uint32_t isRegister;  // mod = 3
  int32_t value;        // displacement, or the register number when isRegister
  uint8_t sixteen;      // decoded with 16-bit addressing
  uint8_t base;         // 0 none, else 1 + register (32-bit) or 1 + rm (16-bit forms)
  uint8_t index;        // 0 none, else 1 + register (32-bit only)
  uint32_t scale;       // SIB scale exponent
};

// All state of one call; lives on the caller's stack.
struct DecodeContext {
  uint32_t addressSize;  // 0 = 32-bit, 1 = 16-bit
  uint32_t operandSize;  // 0 byte, 1 word, 2 dword
  const char* segment;   // last segment override, or null
  DecodeMode mode;
  uint32_t code16;
  char* out;
  size_t cap;
  size_t len;       // current length of out
  size_t startLen;  // length of out at entry: an undefined instruction's text starts here
  const TAnnotator* annotator;
  const TFixedRegView* fixed;
  const uint8_t* base;
  const uint8_t* start;
  uint32_t bias;
  uint8_t firstByte;
  int columns;
  bool repSeen;
  bool segmentUsed;
  uint8_t modrm;
  ModRMOperand rm;
  const char* mnemonic;
  // What the text prints behind the mark of a branch operand: the target, or
  // a far pointer's selector. Kept in every mode; decodeBranchOperand reads it.
  bool branchSeen;
  uint32_t branchValue;
};

// ---- text output: every piece is cut so that out stays within cap - 1 ----

inline void putChar(DecodeContext& c, char ch) {
  if (c.len + 1 < c.cap) c.out[c.len++] = ch;
}

inline void putText(DecodeContext& c, const char* s) {
  while (*s && c.len + 1 < c.cap) c.out[c.len++] = *s++;
}

inline void putMark(DecodeContext& c, TRefKind kind) {
  putChar(c, REF_MARK);
  putChar(c, char(kind));
}

// Upper-case hex with at least minDigits digits ("%.<n>X").
inline void putHex(DecodeContext& c, uint32_t v, int minDigits) {
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kHexDigits[v & 15];
    v >>= 4;
  } while (v);
  while (n < minDigits) buf[n++] = '0';
  while (n) putChar(c, buf[--n]);
}

inline void putDecimalDigit(DecodeContext& c, unsigned d) { putChar(c, char('0' + d)); }

// A mnemonic shorter than six characters is padded to six, a longer one gets one blank.
void padMnemonic(DecodeContext& c, const char* mnemonic) {
  size_t n = std::strlen(mnemonic);
  putText(c, mnemonic);
  if (n < 6)
    for (; n < 6; ++n) putChar(c, ' ');
  else
    putChar(c, ' ');
}

// ---- annotation (listing mode only) ----

inline bool annotating(const DecodeContext& c) { return c.mode == DecodeListing && c.annotator; }

void noteValue(DecodeContext& c, uint32_t value, bool memory, int flavour, uint32_t bias) {
  if (!annotating(c)) return;
  char scratch[kValueNoteCap];
  scratch[0] = 0;
  c.annotator->annotateValue(value, scratch, sizeof scratch, memory, false, flavour, bias);
  scratch[sizeof scratch - 1] = 0;
  putText(c, scratch);
}

void noteBranch(DecodeContext& c, uint32_t value, bool memory, bool followJumps) {
  if (!annotating(c)) return;
  char scratch[kBranchNoteCap];
  scratch[0] = 0;
  c.annotator->annotateBranch(value, scratch, sizeof scratch, memory, followJumps, c.bias);
  scratch[sizeof scratch - 1] = 0;
  putText(c, scratch);
}

// ---- operand pieces ----

// Little-endian value of 1, 2 or 4 bytes, sign- or zero-extended; the caller advances.
uint32_t fetchValue(DecodeContext* c, const uint8_t* p, unsigned size, bool isSigned) {
  switch (size) {
    case 1: return isSigned ? uint32_t(int32_t(int8_t(p[0]))) : p[0];
    case 2: {
      uint16_t v = uint16_t(p[0] | (p[1] << 8));
      return isSigned ? uint32_t(int32_t(int16_t(v))) : v;
    }
    case 4:
      return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
             (uint32_t(p[3]) << 24);
    default:
      if (c) putText(*c, "Illegal size specified\n");
      return 0;
  }
}

inline unsigned immediateBytes(uint32_t operandSize) {
  return operandSize == 0 ? 1 : operandSize == 1 ? 2 : 4;
}

void decodeModRM(DecodeContext& c, const uint8_t*& p, uint8_t modrm) {
  ModRMOperand& op = c.rm;
  unsigned mod = modrm >> 6;
  unsigned rm = modrm & 7;
  op.index = 0;
  op.scale = 0;
  if (mod == 3) {
    op.isRegister = 1;
    op.value = int32_t(rm);
    op.sixteen = uint8_t(c.addressSize);
    op.base = 0;
    return;
  }
  op.isRegister = 0;
  if (c.addressSize) {
    op.sixteen = 1;
    if (mod == 0 && rm == 6) {
      op.base = 0;
      op.value = int16_t(p[0] | (p[1] << 8));
      p += 2;
      return;
    }
    op.base = uint8_t(rm + 1);
    if (mod == 0) {
      op.value = 0;
    } else if (mod == 1) {
      op.value = int8_t(*p++);
    } else {
      op.value = int16_t(p[0] | (p[1] << 8));
      p += 2;
    }
    return;
  }
  op.sixteen = 0;
  if (rm == 4) {
    uint8_t sib = *p++;
    rm = sib & 7;
    unsigned index = (sib >> 3) & 7;
    op.index = uint8_t(index == 4 ? 0 : index + 1);
    op.scale = sib >> 6;
  }
  if (mod == 1) {
    op.base = uint8_t(rm + 1);
    op.value = int8_t(*p++);
  } else if (mod == 2 || rm == 5) {
    op.base = uint8_t(mod == 2 ? rm + 1 : 0);
    op.value = int32_t(fetchValue(nullptr, p, 4, false));
    p += 4;
  } else {
    op.base = uint8_t(rm + 1);
    op.value = 0;
  }
}

void printRegister(DecodeContext& c, unsigned size, unsigned r, bool maySubstitute, bool brackets) {
  if (size > 2) {
    putText(c, "- ILLEGAL SIZE IN printRegister: ");
    putDecimalDigit(c, size);  // sizes are codes below 10
    putText(c, " -");
    return;
  }
  const TFixedRegView* f = c.fixed;
  if (maySubstitute && f && ((f->mask[size] >> r) & 1)) {
    if (size == 0) {
      uint32_t v = r < 4 ? f->value[r] : f->value[r - 4] >> 8;
      putHex(c, v & 0xFF, 2);
    } else if (size == 1) {
      if (brackets) putChar(c, '[');
      putHex(c, f->value[r] & 0xFFFF, 4);
      if (brackets) putChar(c, ']');
    } else {
      if (brackets) putChar(c, '[');
      putMark(c, REF_ADDRESS);
      putHex(c, f->value[r], 8);
      if (brackets) putChar(c, ']');
      noteValue(c, f->value[r], brackets, TAnnotator::FlavourData, 0);
    }
    return;
  }
  if (brackets) putChar(c, '[');
  putText(c, kRegNames[size][r]);
  if (brackets) putChar(c, ']');
}

inline char segmentLetter(const DecodeContext& c) { return c.segment ? c.segment[0] : 'd'; }

// A bare address in brackets. A 16-bit address is four digits behind its
// segment's letter: `a` is cut to 16 bits, as the caller then notes it.
void printDirectAddress(DecodeContext& c, uint32_t& a, bool sixteen) {
  putChar(c, '[');
  if (sixteen) {
    a &= 0xFFFF;
    putMark(c, REF_ADDRESS16);
    putChar(c, segmentLetter(c));
    putHex(c, a, 4);
  } else {
    putMark(c, REF_ADDRESS);
    putHex(c, a, 8);
  }
  putChar(c, ']');
}

void printMemoryOperand(DecodeContext& c, unsigned sizeCode, const ModRMOperand& op, int flavour,
                        bool maySubstitute) {
  if (op.isRegister) {
    printRegister(c, sizeCode, unsigned(op.value), maySubstitute, false);
    return;
  }
  putText(c, memSizeKeyword(sizeCode));
  if (c.segment) {
    putText(c, c.segment);
    putChar(c, ':');
  }
  uint32_t disp = uint32_t(op.value);
  unsigned base = op.base;
  unsigned index = op.index;
  if (!op.sixteen && c.fixed) {
    // Known registers become part of the address.
    uint8_t known = c.fixed->mask[2];
    if (base && ((known >> (base - 1)) & 1)) {
      disp += c.fixed->value[base - 1];
      base = 0;
    }
    if (index && ((known >> (index - 1)) & 1)) {
      disp += c.fixed->value[index - 1] << op.scale;
      index = 0;
    }
  }
  if (!base && !index) {
    // A 16-bit displacement was sign-extended: the address drops the high half.
    printDirectAddress(c, disp, op.sixteen);
    noteValue(c, disp, true, TAnnotator::FlavourData, 0);
    return;
  }
  putChar(c, '[');
  if (base) putText(c, op.sixteen ? kBase16[base - 1] : kRegNames[2][base - 1]);
  if (index) {
    if (base) putChar(c, '+');
    if (op.scale) {
      putHex(c, 1u << op.scale, 1);
      putChar(c, '*');
    }
    putText(c, kRegNames[2][index - 1]);
  }
  if (disp) {
    uint32_t magnitude = disp;
    if (int32_t(disp) < 0) {
      putChar(c, '-');
      magnitude = 0u - disp;
    } else {
      putChar(c, '+');
    }
    if (op.sixteen) {
      putHex(c, magnitude, 4);
    } else {
      putMark(c, REF_ADDRESS);
      putHex(c, magnitude, 8);
    }
  }
  putChar(c, ']');
  if (disp) noteValue(c, disp, true, flavour, 0);
}

// Target = shown address of the next instruction + displacement; with word
// operand size only the low word moves and wraps.
uint32_t branchTarget(DecodeContext& c, const uint8_t* next, int32_t disp) {
  uint32_t nextShown = uint32_t(next - c.base) - c.bias;
  uint32_t target = c.operandSize == 1
                        ? (nextShown & 0xFFFF0000u) | ((nextShown + uint32_t(disp)) & 0xFFFFu)
                        : nextShown + uint32_t(disp);
  c.branchSeen = true;
  c.branchValue = target;
  return target;
}

void printBranchTarget(DecodeContext& c, uint32_t target, TRefKind kind) {
  putMark(c, kind);
  putHex(c, target, c.code16 ? 4 : 8);
  if (!annotating(c)) return;
  uint32_t value = target;
  if (c.bias) {
    uint32_t offset = c.annotator->memoryToFileOffset(target);
    if (offset != kNotInFile) value = offset;
  }
  noteBranch(c, value, false, true);
}

inline bool isStringOpcode(uint8_t b) {
  return (b >= 0x6C && b <= 0x6F) || (b >= 0xA4 && b <= 0xA7) || (b >= 0xAA && b <= 0xAF);
}

// ---- the two decoding paths; Text = false is the length-only pass ----

template <bool Text>
const uint8_t* decodeFpuInstruction(DecodeContext& c, const uint8_t* p, uint8_t opcode) {
  uint8_t modrm = *p++;
  unsigned mod = modrm >> 6;
  unsigned rm = modrm & 7;
  const FpuEntry& f = fpuTable[opcode - 0xD8][(modrm >> 3) & 7];
  if (mod == 3) {
    switch (f.regForm) {
      case FpuSt:
      case FpuStSt:
      case FpuStFirst: {
        const char* name = f.regMnemonic[0] ? f.regMnemonic : f.memMnemonic;
        if (!name[0]) return nullptr;
        c.mnemonic = name;
        if constexpr (Text) {
          padMnemonic(c, name);
          if (f.regForm == FpuStFirst) putText(c, "st,");
          putText(c, "st(");
          putDecimalDigit(c, rm);
          putChar(c, ')');
          if (f.regForm == FpuStSt) putText(c, ",st");
        }
        return p;
      }
      case FpuList:
      case FpuListAx: {
        const char* name = f.names[rm];
        if (!name[0]) return nullptr;
        c.mnemonic = name;
        if constexpr (Text) {
          if (f.regForm == FpuList) {
            putText(c, name);
          } else {
            padMnemonic(c, name);
            putText(c, "ax");
          }
        }
        return p;
      }
      default: return nullptr;
    }
  }
  decodeModRM(c, p, modrm);
  if (!f.memMnemonic[0]) return nullptr;
  c.mnemonic = f.memMnemonic;
  if constexpr (Text) {
    padMnemonic(c, f.memMnemonic);
    printMemoryOperand(c, f.memSize, c.rm, TAnnotator::FlavourData, true);
  }
  return p;
}

// Returns the end of the instruction, or null when it is undefined. Branch:
// keep the branch operand for decodeBranchOperand (the text has it anyway);
// the plain length decoding skips that work.
template <bool Text, bool Branch = Text>
const uint8_t* decodeBody(DecodeContext& c) {
  const uint8_t* p = c.start;
  uint8_t b = *p++;
  c.firstByte = b;
  for (;; b = *p++) {
    switch (b) {
      case 0x26: c.segment = "es"; continue;
      case 0x2E: c.segment = "cs"; continue;
      case 0x36: c.segment = "ss"; continue;
      case 0x3E: c.segment = "ds"; continue;
      case 0x64: c.segment = "fs"; continue;
      case 0x65: c.segment = "gs"; continue;
      case 0x66: c.operandSize = c.operandSize == 2 ? 1 : 2; continue;
      case 0x67: c.addressSize ^= 1; continue;
      case 0xF0:
        if constexpr (Text) putText(c, "lock  ");
        c.columns += 6;
        continue;
      case 0xF2:
      case 0xF3:
        if (c.repSeen) return nullptr;
        c.repSeen = true;
        if constexpr (Text) putText(c, b == 0xF2 ? "repnz " : "repz  ");
        c.columns += 6;
        continue;
      default: break;
    }
    break;
  }

  if (b >= 0xD8 && b <= 0xDF) return decodeFpuInstruction<Text>(c, p, b);

  const OpcodeEntry* e;
  bool twoByte = b == 0x0F;
  uint8_t opcode = b;
  if (twoByte) {
    opcode = *p++;
    e = &twoByteEntry(opcode);
  } else {
    e = &oneByteMap[b];
  }
  if (!e->mnemonic[0]) return nullptr;

  if (e->needsModRM) {
    // aam/aad exist here only in their base-10 form.
    if (!twoByte && (opcode == 0xD4 || opcode == 0xD5) && *p != 0x0A) return nullptr;
    c.modrm = *p++;
    decodeModRM(c, p, c.modrm);
  }
  unsigned reg = (c.modrm >> 3) & 7;

  const char* mnemonic = e->mnemonic;
  uint32_t operands = e->operands;
  int sizeKind = e->sizeKind;
  switch (e->group) {
    case GroupNames: mnemonic = static_cast<const char* const*>(e->extra)[reg]; break;
    case GroupRecordsOps: {
      const OpcodeEntry& g = static_cast<const OpcodeEntry*>(e->extra)[reg];
      mnemonic = g.mnemonic;
      operands = g.operands;
      break;
    }
    case GroupRecords: {
      const OpcodeEntry& g = static_cast<const OpcodeEntry*>(e->extra)[reg];
      mnemonic = g.mnemonic;
      operands = g.operands;
      sizeKind = g.sizeKind;
      break;
    }
    default: break;
  }
  if (!mnemonic[0]) return nullptr;

  if (sizeKind == SizeTwoNames) {
    if (c.repSeen) return nullptr;
    if (c.operandSize != 1) mnemonic = static_cast<const char*>(e->extra);
    if constexpr (Text) {
      putText(c, mnemonic);
      c.columns += int(std::strlen(mnemonic));
    }
  } else {
    if (sizeKind == SizeByte)
      c.operandSize = 0;
    else if (sizeKind == SizeWord)
      c.operandSize = 1;
    if constexpr (Text) {
      putText(c, mnemonic);
      c.columns += int(std::strlen(mnemonic));
    }
    if (!twoByte && isStringOpcode(opcode)) {
      if constexpr (Text) {
        putChar(c, c.operandSize == 0 ? 'b' : c.operandSize == 1 ? 'w' : 'd');
        c.columns += 1;
      }
    } else if (c.repSeen) {
      return nullptr;  // rep prefixes belong to string instructions only
    }
  }
  if constexpr (Text) {
    if (c.columns < 6)
      for (; c.columns < 6; ++c.columns) putChar(c, ' ');
    else
      putChar(c, ' ');
  }
  c.mnemonic = mnemonic;

  while (operands && !(operands >> 24)) operands <<= 8;
  bool first = true;
  while (operands) {
    unsigned kind = operands >> 24;
    operands <<= 8;
    bool last = operands == 0;
    if constexpr (Text) {
      if (!first) putChar(c, ',');
    }
    first = false;
    switch (kind) {
      case RegMem:
        c.segmentUsed = true;
        if constexpr (Text)
          printMemoryOperand(c, c.operandSize, c.rm, TAnnotator::FlavourData, last);
        break;
      case RegMemTarget:
        c.segmentUsed = true;
        if (sizeKind == SizeFar && c.rm.isRegister)
          return nullptr;  // a far pointer lives in memory
        if constexpr (Text)
          printMemoryOperand(c, sizeKind == SizeFar ? 9 : c.operandSize, c.rm,
                             TAnnotator::FlavourCallTarget, last);
        break;
      case RegMem16:
        c.segmentUsed = true;
        if constexpr (Text) printMemoryOperand(c, 1, c.rm, TAnnotator::FlavourData, last);
        break;
      case RegMem8:
        c.segmentUsed = true;
        if constexpr (Text) printMemoryOperand(c, 0, c.rm, TAnnotator::FlavourData, last);
        break;
      case RegField:
        if constexpr (Text) printRegister(c, c.operandSize, reg, last, false);
        break;
      case RegField16:
        if constexpr (Text) printRegister(c, 1, reg, last, false);
        break;
      case RegInOpcode:
        if constexpr (Text) printRegister(c, c.operandSize, opcode & 7, last, false);
        break;
      case SegRegField:
        if constexpr (Text) putText(c, kSegNames[reg]);
        break;
      case SegRegInOpcode:
        if constexpr (Text) putText(c, kSegNames[(opcode >> 3) & 7]);
        break;
      case Accumulator:
        if constexpr (Text) printRegister(c, c.operandSize, 0, last, false);
        break;
      case XlatSource:
      case StringSource:
        c.segmentUsed = true;
        if constexpr (Text) {
          if (c.segment) {
            putText(c, c.segment);
            putChar(c, ':');
          }
          printRegister(c, c.addressSize ? 1 : 2, kind == XlatSource ? 3 : 6, last, true);
        }
        break;
      case RegCL:
        if constexpr (Text) printRegister(c, 0, 1, last, false);
        break;
      case RegDX:
        if constexpr (Text) printRegister(c, 1, 2, last, false);
        break;
      case StringDest:
        if constexpr (Text) {
          putText(c, "es:");
          printRegister(c, c.addressSize ? 1 : 2, 7, true, true);
        }
        break;
      case ControlReg:
      case DebugReg:
      case TestReg:
        if constexpr (Text) {
          putText(c, kind == ControlReg ? "cr" : kind == DebugReg ? "dr" : "tr");
          putDecimalDigit(c, reg);
        }
        break;
      case ImmAddress: {
        unsigned size = immediateBytes(c.operandSize);
        uint32_t v = fetchValue(&c, p, size, false);
        p += size;
        if constexpr (Text) {
          if (size == 1) {
            putHex(c, v, 2);
          } else if (size == 2) {
            putMark(c, REF_ADDRESS16);
            putChar(c, c.code16 && c.segment ? c.segment[0] : 'd');
            putHex(c, v, 4);
          } else {
            putMark(c, REF_ADDRESS);
            putHex(c, v, 8);
          }
          if (mnemonic[0] != 't') noteValue(c, v, false, TAnnotator::FlavourData, c.bias);
        }
        break;
      }
      case ImmValue: {
        unsigned size = immediateBytes(c.operandSize);
        uint32_t v = fetchValue(&c, p, size, true);
        p += size;
        if constexpr (Text) {
          putHex(c, size == 1 ? v & 0xFF : size == 2 ? v & 0xFFFF : v, int(size * 2));
          if (!(mnemonic[0] == 'c' && mnemonic[1] == 'm'))
            noteValue(c, v, false, TAnnotator::FlavourData, c.bias);
        }
        break;
      }
      case Imm8: {
        uint32_t v = *p++;
        if constexpr (Text) {
          putHex(c, v, 2);
          if (c.firstByte == 0x6A) noteValue(c, v, false, TAnnotator::FlavourData, c.bias);
        }
        break;
      }
      case Imm8Signed: {
        int32_t v = int8_t(*p++);
        if constexpr (Text) {
          if (v < 0) {
            putChar(c, '-');
            v = -v;
          }
          putHex(c, uint32_t(v), 2);
        }
        break;
      }
      case Imm16: {
        uint32_t v = fetchValue(&c, p, 2, false);
        p += 2;
        if constexpr (Text) putHex(c, v, 4);
        break;
      }
      case Imm32: {
        uint32_t v = fetchValue(&c, p, 4, false);
        p += 4;
        if constexpr (Text) putHex(c, v, 8);
        break;
      }
      case MemOffset: {
        c.segmentUsed = true;
        unsigned size = c.addressSize ? 2 : 4;
        uint32_t v = fetchValue(&c, p, size, true);
        p += size;
        if constexpr (Text) {
          // The keyword names the size of the moved value, the address form
          // follows the address size.
          putText(c, memSizeKeyword(c.operandSize));
          if (c.segment) {
            putText(c, c.segment);
            putChar(c, ':');
          }
          printDirectAddress(c, v, size == 2);
          if (!c.segment) noteBranch(c, v, true, false);
        }
        break;
      }
      case Rel8: {
        int32_t disp = int8_t(*p++);
        if constexpr (Branch) {
          uint32_t target = branchTarget(c, p, disp);
          if constexpr (Text) printBranchTarget(c, target, REF_JUMP);
        }
        break;
      }
      case RelJump:
      case RelCall: {
        unsigned size = c.operandSize == 1 ? 2 : 4;
        int32_t disp = int32_t(fetchValue(&c, p, size, true));
        p += size;
        if constexpr (Branch) {
          uint32_t target = branchTarget(c, p, disp);
          if constexpr (Text) printBranchTarget(c, target, kind == RelCall ? REF_CALL : REF_JUMP);
        }
        break;
      }
      case One:
        if constexpr (Text) putChar(c, '1');
        break;
      case Three:
        if constexpr (Text) putChar(c, '3');
        break;
      case FarPointer: {
        // ptr16:16 or ptr16:32 by the operand size, as the processor reads it.
        unsigned size = c.operandSize == 1 ? 2 : 4;
        uint32_t offset = fetchValue(&c, p, size, false);
        p += size;
        uint32_t selector = fetchValue(&c, p, 2, false);
        p += 2;
        if constexpr (Branch) {
          c.branchSeen = true;
          c.branchValue = selector;
        }
        if constexpr (Text) {
          putMark(c, opcode == 0x9A ? REF_FAR_CALL : REF_FAR_JUMP);
          putHex(c, selector, 4);
          putChar(c, ':');
          putHex(c, offset, size == 2 ? 4 : 8);
        }
        break;
      }
      default: break;
    }
  }
  if (c.segment && !c.segmentUsed) return nullptr;  // an override nothing uses
  return p;
}

}  // namespace

namespace {

DecodeContext freshContext(const uint8_t* cursor, const uint8_t* base, uint32_t bias, bool code16) {
  DecodeContext c;
  c.addressSize = code16 ? 1 : 0;
  c.operandSize = code16 ? 1 : 2;
  c.segment = nullptr;
  c.code16 = code16 ? 1 : 0;
  c.start = cursor;
  c.columns = 0;
  c.repSeen = false;
  c.segmentUsed = false;
  c.modrm = 0;
  c.rm = ModRMOperand{};
  c.out = nullptr;
  c.cap = c.len = c.startLen = 0;
  c.annotator = nullptr;
  c.fixed = nullptr;
  c.base = base;
  c.bias = bias;
  c.mnemonic = "";
  c.mode = DecodeLength;
  c.branchSeen = false;
  c.branchValue = 0;
  return c;
}

}  // namespace

void decodeInstruction(const uint8_t*& cursor, DecodeMode mode, const uint8_t* base, uint32_t bias,
                       char* out, size_t cap, bool code16, const TFixedRegView* fixed,
                       const TAnnotator* annotator) {
  DecodeContext c = freshContext(cursor, base, bias, code16);
  if (mode == DecodeLength || !out || cap == 0) {
    const uint8_t* end = decodeBody<false>(c);
    cursor = end ? end : c.start + 1;
    return;
  }
  c.mode = mode;
  c.out = out;
  c.cap = cap;
  c.len = c.startLen = strnlen(out, cap - 1);
  c.annotator = annotator;
  c.fixed = fixed;
  const uint8_t* end = decodeBody<true>(c);
  if (!end) {
    c.len = c.startLen;
    putText(c, "db    ");
    putHex(c, c.firstByte, 2);
    end = c.start + 1;
  }
  out[c.len] = 0;
  cursor = end;
}

void decodeBranchOperand(const uint8_t*& cursor, const uint8_t* base, uint32_t bias, bool code16,
                         TBranchOperand& branch) {
  DecodeContext c = freshContext(cursor, base, bias, code16);
  const uint8_t* end = decodeBody<false, true>(c);
  cursor = end ? end : c.start + 1;
  branch.mnemonic = end ? c.mnemonic : "";
  branch.present = end && c.branchSeen;
  branch.value = branch.present ? c.branchValue : 0;
}
