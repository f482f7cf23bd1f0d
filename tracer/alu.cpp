#include "tracer/alu.h"

#include <algorithm>

uint32_t aluShift(int op, uint32_t a, uint32_t count, int size, uint32_t& flags) {
  const uint32_t c = count & 0x1F;
  if (c == 0) return a & aluMask(size);  // flags untouched
  const uint32_t n = uint32_t(size) * 8;
  const uint32_t m = aluMask(size);
  a &= m;
  auto msb = [n](uint64_t v) { return uint32_t(v >> (n - 1)) & 1; };
  auto nextBit = [n](uint64_t v) { return uint32_t(v >> (n - 2)) & 1; };
  uint32_t r = 0;
  uint32_t cf = 0, of = 0;
  switch (op & 7) {
    case 0: {  // ROL: only CF and OF change
      const uint32_t k = c % n;
      r = k ? ((a << k) | (a >> (n - k))) & m : a;
      cf = r & 1;
      of = msb(r) ^ cf;
      flags = (flags & ~(EFL_CF | EFL_OF)) | (cf ? EFL_CF : 0) | (of ? EFL_OF : 0);
      return r;
    }
    case 1: {  // ROR
      const uint32_t k = c % n;
      r = k ? ((a >> k) | (a << (n - k))) & m : a;
      cf = msb(r);
      of = msb(r) ^ nextBit(r);
      flags = (flags & ~(EFL_CF | EFL_OF)) | (cf ? EFL_CF : 0) | (of ? EFL_OF : 0);
      return r;
    }
    case 2:
    case 3: {  // RCL, RCR: rotate the (n + 1)-bit value CF:a
      const uint32_t w = n + 1;
      const uint32_t k = c % w;
      const uint64_t wm = (uint64_t(1) << w) - 1;
      uint64_t v = (uint64_t(flags & EFL_CF) << n) | a;
      if (k) {
        if ((op & 7) == 2)
          v = ((v << k) | (v >> (w - k))) & wm;
        else
          v = ((v >> k) | (v << (w - k))) & wm;
      }
      r = uint32_t(v) & m;
      cf = uint32_t(v >> n) & 1;
      of = (op & 7) == 2 ? (msb(r) ^ cf) : (msb(r) ^ nextBit(r));
      flags = (flags & ~(EFL_CF | EFL_OF)) | (cf ? EFL_CF : 0) | (of ? EFL_OF : 0);
      return r;
    }
    case 4:
    case 6:  // SHL, SAL
      r = uint32_t(uint64_t(a) << c) & m;
      cf = c <= n ? (a >> (n - c)) & 1 : 0;
      of = msb(r) ^ cf;
      break;
    case 5:  // SHR
      r = a >> c;
      cf = c <= n ? (a >> (c - 1)) & 1 : 0;
      of = msb(a);
      break;
    default: {  // SAR
      const int64_t sa = aluSignExtend(a, size);
      r = uint32_t(sa >> c) & m;
      cf = uint32_t(sa >> (c - 1)) & 1;
      of = 0;
      break;
    }
  }
  flags = (flags & ~EFL_STATUS) | aluSzp(r, size) | (cf ? EFL_CF : 0) | (of ? EFL_OF : 0);
  return r;
}

void aluMul(uint32_t a, uint32_t b, int size, bool isSigned, uint32_t& lo, uint32_t& hi,
            uint32_t& flags) {
  const uint32_t m = aluMask(size);
  const int bits = size * 8;
  bool overflow;
  if (isSigned) {
    const int64_t p = int64_t(aluSignExtend(a, size)) * int64_t(aluSignExtend(b, size));
    lo = uint32_t(p) & m;
    hi = uint32_t(uint64_t(p) >> bits) & m;
    overflow = p != int64_t(aluSignExtend(lo, size));
  } else {
    const uint64_t p = uint64_t(a & m) * uint64_t(b & m);
    lo = uint32_t(p) & m;
    hi = uint32_t(p >> bits) & m;
    overflow = hi != 0;
  }
  flags = (flags & ~EFL_STATUS) | aluSzp(lo, size) | (overflow ? EFL_CF | EFL_OF : 0);
}

bool aluDiv(uint32_t lo, uint32_t hi, uint32_t d, int size, bool isSigned, uint32_t& quotient,
            uint32_t& remainder) {
  const uint32_t m = aluMask(size);
  const int bits = size * 8;
  d &= m;
  if (d == 0) return false;
  const uint64_t dividend = (uint64_t(hi & m) << bits) | (lo & m);
  if (!isSigned) {
    const uint64_t q = dividend / d;
    if (q > m) return false;
    quotient = uint32_t(q);
    remainder = uint32_t(dividend % d);
    return true;
  }
  // Sign-extend the 2n-bit dividend.
  const int shift = 64 - 2 * bits;
  const int64_t sd = shift ? int64_t(dividend << shift) >> shift : int64_t(dividend);
  const int64_t sv = aluSignExtend(d, size);
  if (sv == -1 && sd == INT64_MIN) return false;
  const int64_t q = sd / sv;
  const int64_t limit = int64_t(1) << (bits - 1);
  if (q < -limit || q >= limit) return false;
  quotient = uint32_t(q) & m;
  remainder = uint32_t(sd % sv) & m;
  return true;
}
