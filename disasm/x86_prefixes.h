// The prefix bytes in front of an x86 instruction, read the same way for the
// decoder and the tracer's step. Each use decides what a prefix means for it:
// the decoder prints lock and rep prefixes and names the segment override,
// the tracer refuses the prefixes it cannot carry out.
#pragma once
#include <cstdint>

// Segment registers in their encoding order (segment prefixes, ModRM.reg).
enum TSegment : uint8_t { SEG_ES, SEG_CS, SEG_SS, SEG_DS, SEG_FS, SEG_GS };

constexpr uint8_t PREFIX_REPNE = 0xF2;
constexpr uint8_t PREFIX_REP = 0xF3;

struct TPrefixes {
  uint32_t count = 0;            // prefix bytes read
  int segment = -1;              // the last segment override (TSegment), -1 none
  uint32_t segmentsSeen = 0;     // bit s: an override of segment s was read
  bool operandToggled = false;   // an odd number of 0x66: the other operand size
  bool addressToggled = false;   // an odd number of 0x67: the other address size
  uint32_t locks = 0;            // 0xF0 bytes
  uint32_t locksBeforeRep = 0;   // of those, the ones in front of the first rep prefix
  uint32_t reps = 0;             // 0xF2 and 0xF3 bytes
  uint8_t firstRep = 0;          // PREFIX_REPNE or PREFIX_REP, 0 when none was read
  uint8_t lastRep = 0;
};

// Reads the prefixes from p, at most limit bytes (the number of prefixes is
// not limited otherwise), into x; returns the first byte after them.
inline const uint8_t* readPrefixes(const uint8_t* p, uint32_t limit, TPrefixes& x) {
  for (; x.count < limit; ++p, ++x.count) {
    int segment;
    switch (*p) {
      case 0x26: segment = SEG_ES; break;
      case 0x2E: segment = SEG_CS; break;
      case 0x36: segment = SEG_SS; break;
      case 0x3E: segment = SEG_DS; break;
      case 0x64: segment = SEG_FS; break;
      case 0x65: segment = SEG_GS; break;
      case 0x66: x.operandToggled = !x.operandToggled; continue;
      case 0x67: x.addressToggled = !x.addressToggled; continue;
      case 0xF0:
        ++x.locks;
        if (!x.reps) ++x.locksBeforeRep;
        continue;
      case PREFIX_REPNE:
      case PREFIX_REP:
        if (!x.reps++) x.firstRep = *p;
        x.lastRep = *p;
        continue;
      default:
        return p;
    }
    x.segment = segment;
    x.segmentsSeen |= 1u << segment;
  }
  return p;
}
