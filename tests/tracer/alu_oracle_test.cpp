// The emulator against the host processor: every class of ordinary
// instruction, in 8-, 16- and 32-bit operand sizes, with seeded random
// operands, incoming flags, addressing forms and memory, is stepped by the
// tracer and run natively in a small executable buffer; registers, the flags
// the instruction defines, and memory must agree.
//
// Flags not compared, because the architecture leaves them undefined:
//   AND, OR, XOR, TEST (all forms)        AF
//   SHL/SHR/SAR/SAL with count != 0       AF
//   shifts and rotates, masked count > 1  OF
//   SHL/SHR/SAL, masked count >= width    CF
//   MUL, IMUL (all forms)                 SF, ZF, AF, PF
//   DIV, IDIV                             CF, PF, AF, ZF, SF, OF
// Not compared at all: BSWAP with a 16-bit operand (its result is undefined).
// Divisions that fault are not run natively; the test checks that the
// emulator refused exactly those (status 5, nothing changed).
//
// OXU_ORACLE_SOAK=N runs N times as many cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "support/hex_bytes.h"
#include "trace_rig.h"
#include "tracer/alu.h"

#if defined(__x86_64__)
#include <sys/mman.h>

namespace {

constexpr uint32_t kCodeAt = 0x401000;
constexpr uint32_t kDataAt = 0x402000;  // file offset 0x600
constexpr uint32_t kDataFile = 0x600;
constexpr uint32_t kTarget = 8;  // memory operands address data + 8
constexpr int kDataBytes = 32;

struct NativeState {
  uint64_t r[8];
  uint64_t flags;
};

// A function void run(NativeState*) around a 16-byte instruction area.
class TNativeRunner {
 public:
  TNativeRunner() {
    code_ = static_cast<uint8_t*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    data_ = static_cast<uint8_t*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE,
                                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0));
    if (code_ == MAP_FAILED || data_ == MAP_FAILED) {
      code_ = data_ = nullptr;
      return;
    }
    std::vector<uint8_t> c = {0x53, 0x55, 0x41, 0x54, 0x41, 0x55, 0x41, 0x56,
                              0x41, 0x57, 0x49, 0x89, 0xFF,  // mov r15, rdi
                              0x41, 0xFF, 0x77, 0x40, 0x9D,  // push [r15+64]; popfq
                              0x41, 0x8B, 0x07,              // mov eax, [r15]
                              0x41, 0x8B, 0x4F, 0x08, 0x41, 0x8B, 0x57, 0x10,
                              0x41, 0x8B, 0x5F, 0x18, 0x41, 0x8B, 0x6F, 0x28,
                              0x41, 0x8B, 0x77, 0x30, 0x41, 0x8B, 0x7F, 0x38};
    instr_ = c.size();
    for (int i = 0; i < 16; ++i) c.push_back(0x90);
    const std::vector<uint8_t> tail = {0x9C, 0x41, 0x8F, 0x47, 0x40,  // pushfq; pop [r15+64]
                                       0x41, 0x89, 0x07, 0x41, 0x89, 0x4F, 0x08, 0x41, 0x89,
                                       0x57, 0x10, 0x41, 0x89, 0x5F, 0x18, 0x41, 0x89, 0x6F,
                                       0x28, 0x41, 0x89, 0x77, 0x30, 0x41, 0x89, 0x7F, 0x38,
                                       0xFC,  // cld: the caller expects the direction flag clear
                                       0x41, 0x5F, 0x41, 0x5E, 0x41, 0x5D, 0x41, 0x5C, 0x5D,
                                       0x5B, 0xC3};
    c.insert(c.end(), tail.begin(), tail.end());
    std::memcpy(code_, c.data(), c.size());
  }
  ~TNativeRunner() {
    if (code_) munmap(code_, 4096);
    if (data_) munmap(data_, 4096);
  }
  bool ready() const { return code_ != nullptr; }
  uint8_t* data() { return data_; }
  uint32_t dataAddress() const { return uint32_t(reinterpret_cast<uintptr_t>(data_)); }
  void run(const uint8_t* instr, int len, NativeState& s) {
    std::memset(code_ + instr_, 0x90, 16);
    std::memcpy(code_ + instr_, instr, size_t(len));
    __builtin___clear_cache(reinterpret_cast<char*>(code_), reinterpret_cast<char*>(code_) + 4096);
    reinterpret_cast<void (*)(NativeState*)>(code_)(&s);
  }

 private:
  uint8_t* code_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t instr_ = 0;
};

enum Kind { K_PLAIN, K_STRING, K_DIVIDE };

struct Case {
  uint8_t emu[16];
  int emuLen = 0;
  uint8_t nat[16];
  int natLen = 0;
  uint32_t regs[8];
  uint32_t flags;
  uint32_t undefinedFlags = 0;
  Kind kind = K_PLAIN;
  bool skipped = false;
  const char* name = "";
};

class TCaseMaker {
 public:
  TCaseMaker(uint64_t seed, uint32_t nativeData) : rng_(seed), nativeData_(nativeData) {}

  uint32_t value() {
    switch (rng_() % 8) {
      case 0: {
        static const uint32_t special[] = {0,          1,          0x7F,       0x80,
                                           0xFF,       0x7FFF,     0x8000,     0xFFFF,
                                           0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x10};
        return special[rng_() % 12];
      }
      case 1: return uint32_t(rng_() % 64);
      case 2: return uint32_t(-int32_t(rng_() % 64));
      default: return uint32_t(rng_());
    }
  }
  uint32_t below(uint32_t n) { return uint32_t(rng_() % n); }

  void begin(Case& c, int size) {
    c = Case{};
    for (uint32_t& r : c.regs) r = value();
    c.flags = 0x202 | (uint32_t(rng_()) & (EFL_STATUS | EFL_DF));
    if (size == 2) {
      c.emu[c.emuLen++] = 0x66;
      c.nat[c.natLen++] = 0x66;
    }
  }
  void both(Case& c, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) {
      c.emu[c.emuLen++] = b;
      c.nat[c.natLen++] = b;
    }
  }
  void imm(Case& c, int n) {
    const uint32_t v = value();
    for (int i = 0; i < n; ++i) both(c, {uint8_t(v >> (8 * i))});
  }
  // A register number usable in this size (no ESP/SP as an operand).
  int reg(int size) {
    for (;;) {
      const int r = int(below(8));
      if (size == 1 || r != 4) return r;
    }
  }
  // ModRM with the given reg field: a register operand or a memory operand
  // at data + kTarget through a random addressing form.
  void operand(Case& c, int regField, int size, bool allowMemory = true) {
    if (!allowMemory || below(3) == 0) {
      both(c, {uint8_t(0xC0 | (regField << 3) | reg(size))});
      return;
    }
    const uint32_t target = kDataAt + kTarget;
    // Native: [disp32] through a SIB without base and index.
    const uint32_t host = nativeData_ + kTarget;
    c.nat[c.natLen++] = uint8_t(0x04 | (regField << 3));
    c.nat[c.natLen++] = 0x25;
    for (int i = 0; i < 4; ++i) c.nat[c.natLen++] = uint8_t(host >> (8 * i));
    switch (below(5)) {
      case 0: {  // [disp32]
        c.emu[c.emuLen++] = uint8_t(0x05 | (regField << 3));
        for (int i = 0; i < 4; ++i) c.emu[c.emuLen++] = uint8_t(target >> (8 * i));
        break;
      }
      case 1: {  // [base]
        const int base = pickBase();
        c.emu[c.emuLen++] = uint8_t(0x00 | (regField << 3) | base);
        c.regs[base] = target;
        break;
      }
      case 2: {  // [base + disp8]
        const int base = pickBase();
        const int8_t d = int8_t(below(256));
        c.emu[c.emuLen++] = uint8_t(0x40 | (regField << 3) | base);
        c.emu[c.emuLen++] = uint8_t(d);
        c.regs[base] = target - uint32_t(int32_t(d));
        break;
      }
      case 3: {  // [base + disp32]
        const int base = pickBase();
        const uint32_t d = value();
        c.emu[c.emuLen++] = uint8_t(0x80 | (regField << 3) | base);
        for (int i = 0; i < 4; ++i) c.emu[c.emuLen++] = uint8_t(d >> (8 * i));
        c.regs[base] = target - d;
        break;
      }
      default: {  // [base + index * scale + disp8]
        const int base = pickBase();
        int index;
        do index = int(below(8));
        while (index == 4 || index == base);
        const uint32_t scale = below(4);
        const int8_t d = int8_t(below(256));
        c.emu[c.emuLen++] = uint8_t(0x44 | (regField << 3));
        c.emu[c.emuLen++] = uint8_t((scale << 6) | (index << 3) | base);
        c.emu[c.emuLen++] = uint8_t(d);
        c.regs[base] = target - uint32_t(int32_t(d)) - (c.regs[index] << scale);
        break;
      }
    }
  }
  int pickBase() {
    for (;;) {
      const int r = int(below(8));
      if (r != 4 && r != 5) return r;  // no SIB needed, no disp-only form
    }
  }

 private:
  std::mt19937_64 rng_;
  uint32_t nativeData_;
};

// AF is undefined after the logical operations of the ALU group.
uint32_t logicFlags(int aluOp) {
  return aluOp == ALU_AND || aluOp == ALU_OR || aluOp == ALU_XOR ? EFL_AF : 0;
}

// Builds a random case of instruction class `klass` in the given operand size.
void makeCase(TCaseMaker& m, Case& c, int klass, int size) {
  m.begin(c, size);
  const uint8_t w = size == 1 ? 0 : 1;  // the low opcode bit
  switch (klass) {
    case 0: {  // ALU r/m,r and r,r/m
      const uint8_t op = uint8_t((m.below(8) << 3) | (m.below(2) << 1) | w);
      m.both(c, {op});
      m.operand(c, m.reg(size), size);
      c.undefinedFlags = logicFlags(op >> 3);
      c.name = "ALU r/m,r";
      break;
    }
    case 1: {  // ALU AL/eAX, imm
      const uint8_t op = uint8_t((m.below(8) << 3) | 4 | w);
      m.both(c, {op});
      m.imm(c, size);
      c.undefinedFlags = logicFlags(op >> 3);
      c.name = "ALU acc,imm";
      break;
    }
    case 2: {  // 80-83
      const int sub = int(m.below(8));
      uint8_t op = size == 1 ? (m.below(2) ? 0x82 : 0x80) : (m.below(2) ? 0x83 : 0x81);
      c.emu[c.emuLen++] = op;
      c.nat[c.natLen++] = op == 0x82 ? 0x80 : op;
      m.operand(c, sub, size);
      m.imm(c, op == 0x81 ? size : 1);
      c.undefinedFlags = logicFlags(sub);
      c.name = "ALU r/m,imm";
      break;
    }
    case 3: {  // IMUL r, r/m, imm
      if (size == 1) size = 4;
      const bool wide = m.below(2);
      m.both(c, {uint8_t(wide ? 0x69 : 0x6B)});
      m.operand(c, m.reg(size), size);
      m.imm(c, wide ? size : 1);
      c.undefinedFlags = EFL_SF | EFL_ZF | EFL_AF | EFL_PF;
      c.name = "IMUL r,r/m,imm";
      break;
    }
    case 4: {  // shifts and rotates
      const int sub = int(m.below(8));
      const int form = int(m.below(3));
      const uint8_t op = uint8_t((form == 0 ? 0xC0 : form == 1 ? 0xD0 : 0xD2) | w);
      m.both(c, {op});
      if (form == 2) c.regs[1] = (c.regs[1] & ~0xFFu) | m.below(40);
      m.operand(c, sub, size);
      uint32_t count = 1;
      if (form == 0) {
        count = m.below(2) ? m.below(40) : m.value() & 0xFF;
        m.both(c, {uint8_t(count)});
        count &= 0xFF;
      } else if (form == 2) {
        count = c.regs[1] & 0xFF;  // ECX may also address the operand
      }
      const uint32_t k = count & 0x1F;
      if (k != 0) {
        if (sub >= 4) c.undefinedFlags |= EFL_AF;
        if (k != 1) c.undefinedFlags |= EFL_OF;
        if ((sub == 4 || sub == 5 || sub == 6) && k >= uint32_t(size * 8))
          c.undefinedFlags |= EFL_CF;
      }
      c.name = "shift/rotate";
      break;
    }
    case 5: {  // MOV r/m,imm; TEST r/m,imm
      const bool mov = m.below(2);
      m.both(c, {uint8_t((mov ? 0xC6 : 0xF6) | w)});
      m.operand(c, mov ? 0 : int(m.below(2)), size);
      m.imm(c, size);
      if (!mov) c.undefinedFlags = EFL_AF;
      c.name = "MOV/TEST r/m,imm";
      break;
    }
    case 6: {  // TEST, MOV r,r/m
      const bool test = m.below(2);
      m.both(c, {uint8_t((test ? 0x84 : 0x8A) | w)});
      m.operand(c, m.reg(size), size);
      if (test) c.undefinedFlags = EFL_AF;
      c.name = "TEST/MOV r,r/m";
      break;
    }
    case 7: {  // MUL IMUL DIV IDIV
      const int sub = 4 + int(m.below(4));
      m.both(c, {uint8_t(0xF6 | w)});
      // Mostly dividends that fit, so that results are compared often.
      if (sub >= 6 && m.below(2)) {
        c.regs[2] = m.below(2) ? 0 : 0xFFFFFFFF;
        if (size == 1) c.regs[0] = (c.regs[0] & 0xFFFF00FFu) | (m.below(2) ? 0 : 0xFF00);
      }
      m.operand(c, sub, size);
      if (sub >= 6) {
        c.kind = K_DIVIDE;
        c.undefinedFlags = EFL_STATUS;
      } else {
        c.undefinedFlags = EFL_SF | EFL_ZF | EFL_AF | EFL_PF;
      }
      c.name = "MUL/IMUL/DIV/IDIV";
      break;
    }
    case 8: {  // XCHG, MOV r/m,r
      m.both(c, {uint8_t((m.below(2) ? 0x86 : 0x88) | w)});
      m.operand(c, m.reg(size), size);
      c.name = "XCHG/MOV r/m,r";
      break;
    }
    case 9: {  // NOT NEG; INC DEC r/m
      if (m.below(2)) {
        const int sub = 2 + int(m.below(2));
        m.both(c, {uint8_t(0xF6 | w)});
        m.operand(c, sub, size);
      } else {
        m.both(c, {uint8_t(0xFE | w)});
        m.operand(c, int(m.below(2)), size);
      }
      c.name = "NOT/NEG/INC/DEC r/m";
      break;
    }
    case 10: {  // SETcc
      m.both(c, {0x0F, uint8_t(0x90 | m.below(16))});
      m.operand(c, int(m.below(8)), 1);
      c.name = "SETcc";
      break;
    }
    case 11: {  // IMUL r,r/m; MOVZX; MOVSX
      if (size == 1) size = 4;
      static const uint8_t ops[] = {0xAF, 0xB6, 0xB7, 0xBE, 0xBF};
      const uint8_t op = ops[m.below(5)];
      m.both(c, {0x0F, op});
      const int srcSize = op == 0xAF ? size : (op == 0xB6 || op == 0xBE) ? 1 : 2;
      m.operand(c, m.reg(size), srcSize);
      if (op == 0xAF) c.undefinedFlags = EFL_SF | EFL_ZF | EFL_AF | EFL_PF;
      c.name = "IMUL r,r/m; MOVZX; MOVSX";
      break;
    }
    case 12: {  // TEST acc,imm; MOV r,imm
      if (m.below(2)) {
        m.both(c, {uint8_t(0xA8 | w)});
        c.undefinedFlags = EFL_AF;
      } else {
        m.both(c, {uint8_t((size == 1 ? 0xB0 : 0xB8) | m.reg(size))});
      }
      m.imm(c, size);
      c.name = "TEST acc,imm; MOV r,imm";
      break;
    }
    case 13: {  // one-byte register and flag instructions
      if (size == 1) size = 4;
      switch (m.below(6)) {
        case 0: {  // INC/DEC r: native FF /0, FF /1
          const int r = m.reg(size);
          const bool dec = m.below(2);
          c.emu[c.emuLen++] = uint8_t((dec ? 0x48 : 0x40) | r);
          c.nat[c.natLen++] = 0xFF;
          c.nat[c.natLen++] = uint8_t((dec ? 0xC8 : 0xC0) | r);
          break;
        }
        case 1: m.both(c, {uint8_t(0x90 | m.reg(size))}); break;
        case 2: m.both(c, {uint8_t(0x98 | m.below(2))}); break;
        case 3: m.both(c, {uint8_t(0x9E | m.below(2))}); break;
        case 4: {
          static const uint8_t ops[] = {0xF8, 0xF9, 0xFC, 0xFD};
          m.both(c, {ops[m.below(4)]});
          break;
        }
        default:
          if (size == 4) {
            m.both(c, {0x0F, uint8_t(0xC8 | m.reg(4))});  // BSWAP
          } else {
            m.both(c, {0xF8});
          }
          break;
      }
      c.name = "INC/DEC r, XCHG, CBW/CWD, SAHF/LAHF, CLC..STD, BSWAP";
      break;
    }
    case 14: {  // MOV acc <-> moffs: native 8A/8B/88/89 with [disp32]
      const bool store = m.below(2);
      c.emu[c.emuLen++] = uint8_t((store ? 0xA2 : 0xA0) | w);
      for (int i = 0; i < 4; ++i) c.emu[c.emuLen++] = uint8_t((kDataAt + kTarget) >> (8 * i));
      c.nat[c.natLen++] = uint8_t((store ? 0x88 : 0x8A) | w);
      c.nat[c.natLen++] = 0x04;
      c.nat[c.natLen++] = 0x25;
      break;
    }
    case 15: {  // LEA: the same bytes natively (no disp-only form, no ESP)
      if (size == 1) size = 4;
      m.both(c, {0x8D});
      for (;;) {
        const uint8_t modrm = uint8_t((m.below(3) << 6) | (m.reg(size) << 3) | m.below(8));
        const uint32_t mod = modrm >> 6, rm = modrm & 7;
        if (rm == 5 && mod == 0) continue;
        if (rm == 4) {
          const uint8_t sib = uint8_t(m.below(256));
          if ((sib & 7) == 4) continue;
          m.both(c, {modrm, sib});
          if ((sib & 7) == 5 && mod == 0) m.imm(c, 4);  // no base: disp32
        } else {
          m.both(c, {modrm});
        }
        if (mod == 1) m.imm(c, 1);
        if (mod == 2) m.imm(c, 4);
        break;
      }
      c.name = "LEA";
      break;
    }
    default: {  // MOVS CMPS STOS LODS SCAS, one iteration
      static const uint8_t ops[] = {0xA4, 0xA6, 0xAA, 0xAC, 0xAE};
      m.both(c, {uint8_t(ops[m.below(5)] | w)});
      c.kind = K_STRING;
      c.name = "string";
      break;
    }
  }
}

constexpr int kClasses = 17;

}  // namespace

TEST(AluOracle, EmulatorMatchesTheHostProcessor) {
  TNativeRunner native;
  if (!native.ready()) GTEST_SKIP() << "no executable memory below 2 GB on this host";

  TProgramImage program = buildProgramImage();
  TTraceRig rig(program.bytes);
  uint64_t soak = 1;
  if (const char* s = std::getenv("OXU_ORACLE_SOAK"))
    soak = std::max<uint64_t>(1, std::strtoull(s, nullptr, 10));
  const uint64_t perClassAndSize = 20000 * soak;

  TCaseMaker maker(0x0A1C0DE5EEDull, native.dataAddress());
  uint64_t compared = 0, faults = 0, mismatches = 0;
  Case c;
  uint8_t data[kDataBytes];
  for (int klass = 0; klass < kClasses; ++klass) {
    for (int size : {1, 2, 4}) {
      for (uint64_t n = 0; n < perClassAndSize; ++n) {
        makeCase(maker, c, klass, size);
        if (klass == 14) {  // the native moffs form needs the host address
          const uint32_t host = native.dataAddress() + kTarget;
          for (int i = 0; i < 4; ++i) c.nat[c.natLen++] = uint8_t(host >> (8 * i));
        }
        for (uint8_t& b : data) b = uint8_t(maker.value());
        // String pointers: source at data + 0..8, destination at data + 16..24.
        const uint32_t srcOff = maker.below(9), dstOff = 16 + maker.below(9);
        if (c.kind == K_STRING) {
          c.regs[6] = kDataAt + srcOff;
          c.regs[7] = kDataAt + dstOff;
        }

        // Emulator.
        TFixedRegs& R = rig.regs;
        std::memcpy(R.reg, c.regs, sizeof c.regs);
        R.ESP = R.stackBase + 0x2000;
        R.EFLAGS = c.flags;
        R.exceptionPending = 0;
        rig.code(kCodeAt, std::vector<uint8_t>(c.emu, c.emu + c.emuLen));
        std::memcpy(rig.file() + kDataFile, data, kDataBytes);
        const int status = rig.step();

        if (c.kind == K_DIVIDE && status == TRACE_EXCEPTION) {
          // Only a real divide error may be refused; the state is unchanged.
          ++faults;
          bool sameRegs = std::memcmp(R.reg + 0, c.regs, 16) == 0 &&
                          std::memcmp(R.reg + 5, c.regs + 5, 12) == 0;
          EXPECT_TRUE(sameRegs && R.EIP == kCodeAt && R.EFLAGS == c.flags) << c.name;
          // Run it on the host in a form that cannot trap: check the math.
          const uint8_t* mp = c.emu + (size == 2 ? 1 : 0);
          const int sub = (mp[1] >> 3) & 7;
          const int sz = size;
          const uint32_t mask = aluMask(sz);
          uint32_t divisor;
          if ((mp[1] >> 6) == 3) {
            const int r = mp[1] & 7;
            divisor = sz == 1 ? (r < 4 ? c.regs[r] : c.regs[r - 4] >> 8) & 0xFF : c.regs[r] & mask;
          } else {
            divisor = 0;
            for (int i = 0; i < sz; ++i) divisor |= uint32_t(data[kTarget + i]) << (8 * i);
          }
          __int128 dividend;
          if (sz == 1) {
            dividend = sub == 7 ? __int128(int16_t(c.regs[0])) : __int128(c.regs[0] & 0xFFFF);
          } else {
            const uint64_t u = (uint64_t(c.regs[2] & mask) << (8 * sz)) | (c.regs[0] & mask);
            dividend = sub == 7 ? __int128(sz == 2 ? int64_t(int32_t(u)) : int64_t(u))
                                : __int128(u);
          }
          bool fault = divisor == 0;
          if (!fault) {
            const __int128 d = sub == 7 ? __int128(aluSignExtend(divisor, sz)) : __int128(divisor);
            const __int128 q = dividend / d;
            fault = sub == 7
                        ? (q < -(__int128(1) << (8 * sz - 1)) || q >= (__int128(1) << (8 * sz - 1)))
                        : q > __int128(mask);
          }
          EXPECT_TRUE(fault) << "refused a division that fits";
          continue;
        }
        if (status != TRACE_OK) {
          ADD_FAILURE() << c.name << ": status " << status;
          ++mismatches;
          continue;
        }

        // Host.
        std::memcpy(native.data(), data, kDataBytes);
        NativeState ns{};
        for (int r = 0; r < 8; ++r) ns.r[r] = c.regs[r];
        if (c.kind == K_STRING) {
          ns.r[6] = native.dataAddress() + srcOff;
          ns.r[7] = native.dataAddress() + dstOff;
        }
        ns.flags = c.flags;
        native.run(c.nat, c.natLen, ns);
        ++compared;

        bool same = true;
        for (int r = 0; r < 8; ++r) {
          if (r == 4) continue;
          uint32_t mine = R.reg[r], theirs = uint32_t(ns.r[r]);
          if (c.kind == K_STRING && r >= 6) {
            mine -= kDataAt;
            theirs -= native.dataAddress();
          }
          if (mine != theirs) same = false;
        }
        const uint32_t compare = (EFL_STATUS | EFL_DF) & ~c.undefinedFlags;
        if ((R.EFLAGS & compare) != (uint32_t(ns.flags) & compare)) same = false;
        if (std::memcmp(rig.file() + kDataFile, native.data(), kDataBytes) != 0) same = false;
        if (!same) {
          ++mismatches;
          if (mismatches <= 10) {
            ADD_FAILURE() << c.name << " size " << size << ": " << hexText(c.emu, size_t(c.emuLen))
                          << " flags in " << std::hex << c.flags << " emu " << R.EFLAGS << " host "
                          << ns.flags << " eax " << R.EAX << "/" << uint32_t(ns.r[0]) << " ecx "
                          << R.ECX << "/" << uint32_t(ns.r[1]) << " edx " << R.EDX << "/"
                          << uint32_t(ns.r[2]) << " ebx " << R.EBX << "/" << uint32_t(ns.r[3]);
          }
        }
      }
    }
  }
  std::printf("oracle: %llu cases compared, %llu divide errors checked, %llu mismatches\n",
              (unsigned long long)compared, (unsigned long long)faults,
              (unsigned long long)mismatches);
  EXPECT_EQ(mismatches, 0u);
  EXPECT_GE(compared + faults, 1000000u);
}

#else

TEST(AluOracle, EmulatorMatchesTheHostProcessor) {
  GTEST_SKIP() << "the oracle runs the same instructions natively and needs an x86-64 host";
}

#endif
