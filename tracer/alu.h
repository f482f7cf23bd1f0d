// Integer operations of the traced machine with their exact EFLAGS results.
// Sizes are in bytes (1, 2, 4); operands and results are kept in the low
// bits of a uint32_t. Flags that the architecture leaves undefined get a
// fixed, documented choice so that traces are reproducible:
//   AND/OR/XOR/TEST        AF cleared
//   shifts (count != 0)    AF cleared; OF by the count-1 rule for any count;
//                          SHL/SHR CF 0 once the count passes the width
//   rotates                OF by the count-1 rule for any count
//   MUL/IMUL               SF, ZF, PF from the low half of the result, AF cleared
//   DIV/IDIV               flags unchanged
//   BSWAP r16              low word cleared
#pragma once
#include <cstdint>

constexpr uint32_t EFL_CF = 0x001, EFL_PF = 0x004, EFL_AF = 0x010, EFL_ZF = 0x040, EFL_SF = 0x080,
                   EFL_TF = 0x100, EFL_IF = 0x200, EFL_DF = 0x400, EFL_OF = 0x800;
constexpr uint32_t EFL_STATUS = EFL_CF | EFL_PF | EFL_AF | EFL_ZF | EFL_SF | EFL_OF;

inline uint32_t aluMask(int size) { return size == 4 ? 0xFFFFFFFFu : (1u << (size * 8)) - 1; }
inline uint32_t aluSign(int size) { return 1u << (size * 8 - 1); }
inline int32_t aluSignExtend(uint32_t v, int size) {
  return size == 1 ? int32_t(int8_t(v)) : size == 2 ? int32_t(int16_t(v)) : int32_t(v);
}

// SF, ZF and PF of a result.
inline uint32_t aluSzp(uint32_t r, int size) {
  r &= aluMask(size);
  uint32_t f = 0;
  if (r == 0) f |= EFL_ZF;
  if (r & aluSign(size)) f |= EFL_SF;
  if (!__builtin_parity(r & 0xFF)) f |= EFL_PF;
  return f;
}

// The eight group-1 operations in their x86 order.
enum AluOp : int {
  ALU_ADD = 0,
  ALU_OR = 1,
  ALU_ADC = 2,
  ALU_SBB = 3,
  ALU_AND = 4,
  ALU_SUB = 5,
  ALU_XOR = 6,
  ALU_CMP = 7
};

inline uint32_t aluAdd(uint32_t a, uint32_t b, uint32_t carry, int size, uint32_t& flags) {
  const uint32_t m = aluMask(size);
  a &= m;
  b &= m;
  const uint64_t wide = uint64_t(a) + b + carry;
  const uint32_t r = uint32_t(wide) & m;
  uint32_t f = aluSzp(r, size);
  if (wide > m) f |= EFL_CF;
  if ((a ^ r) & (b ^ r) & aluSign(size)) f |= EFL_OF;
  if ((a ^ b ^ r) & 0x10) f |= EFL_AF;
  flags = (flags & ~EFL_STATUS) | f;
  return r;
}

inline uint32_t aluSub(uint32_t a, uint32_t b, uint32_t borrow, int size, uint32_t& flags) {
  const uint32_t m = aluMask(size);
  a &= m;
  b &= m;
  const uint32_t r = (a - b - borrow) & m;
  uint32_t f = aluSzp(r, size);
  if (uint64_t(a) < uint64_t(b) + borrow) f |= EFL_CF;
  if ((a ^ b) & (a ^ r) & aluSign(size)) f |= EFL_OF;
  if ((a ^ b ^ r) & 0x10) f |= EFL_AF;
  flags = (flags & ~EFL_STATUS) | f;
  return r;
}

inline uint32_t aluLogic(uint32_t r, int size, uint32_t& flags) {
  r &= aluMask(size);
  flags = (flags & ~EFL_STATUS) | aluSzp(r, size);
  return r;
}

// The result of op (for CMP the first operand, unchanged).
inline uint32_t aluBinary(int op, uint32_t a, uint32_t b, int size, uint32_t& flags) {
  switch (op & 7) {
    case ALU_ADD: return aluAdd(a, b, 0, size, flags);
    case ALU_OR: return aluLogic(a | b, size, flags);
    case ALU_ADC: return aluAdd(a, b, flags & EFL_CF, size, flags);
    case ALU_SBB: return aluSub(a, b, flags & EFL_CF, size, flags);
    case ALU_AND: return aluLogic(a & b, size, flags);
    case ALU_SUB: return aluSub(a, b, 0, size, flags);
    case ALU_XOR: return aluLogic(a ^ b, size, flags);
    default: aluSub(a, b, 0, size, flags); return a & aluMask(size);
  }
}

inline uint32_t aluInc(uint32_t a, int size, uint32_t& flags) {
  const uint32_t cf = flags & EFL_CF;
  const uint32_t r = aluAdd(a, 1, 0, size, flags);
  flags = (flags & ~EFL_CF) | cf;
  return r;
}

inline uint32_t aluDec(uint32_t a, int size, uint32_t& flags) {
  const uint32_t cf = flags & EFL_CF;
  const uint32_t r = aluSub(a, 1, 0, size, flags);
  flags = (flags & ~EFL_CF) | cf;
  return r;
}

inline uint32_t aluNeg(uint32_t a, int size, uint32_t& flags) {
  return aluSub(0, a, 0, size, flags);
}

// Group-2 operations by their ModRM reg field: ROL ROR RCL RCR SHL SHR SAL SAR.
// count is the raw count (immediate, CL or 1); it is masked to 5 bits here.
uint32_t aluShift(int op, uint32_t a, uint32_t count, int size, uint32_t& flags);

// IMUL with a truncated result (two- and three-operand forms).
inline uint32_t aluImulTruncated(uint32_t a, uint32_t b, int size, uint32_t& flags) {
  const int64_t full = int64_t(aluSignExtend(a, size)) * int64_t(aluSignExtend(b, size));
  const uint32_t r = uint32_t(full) & aluMask(size);
  uint32_t f = aluSzp(r, size);
  if (full != int64_t(aluSignExtend(r, size))) f |= EFL_CF | EFL_OF;
  flags = (flags & ~EFL_STATUS) | f;
  return r;
}

// One-operand MUL and IMUL: lo/hi receive the halves (AL/AH, AX/DX, EAX/EDX).
void aluMul(uint32_t a, uint32_t b, int size, bool isSigned, uint32_t& lo, uint32_t& hi,
            uint32_t& flags);
// DIV and IDIV of hi:lo by d; false (nothing written) on a zero divisor or a
// quotient that does not fit.
bool aluDiv(uint32_t lo, uint32_t hi, uint32_t d, int size, bool isSigned, uint32_t& quotient,
            uint32_t& remainder);
