#include "image/byte_search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The scan compares two anchor bytes of the pattern at 16 candidates at once
// and checks the whole pattern only where both agree. The anchors are the
// pattern's least common bytes, so that long runs of zeros or padding in an
// executable rarely raise a candidate.

namespace {

bool isLetter(uint8_t b) {
  const uint8_t l = b | 0x20;
  return l >= 'a' && l <= 'z';
}

// A byte of the file matches pattern byte p when (byte | mask) == key.
struct TAnchor {
  uint32_t index;
  uint8_t key;
  uint8_t mask;
};

TAnchor anchorAt(const uint8_t* pattern, uint32_t index, bool ignoreCase) {
  const uint8_t p = pattern[index];
  const uint8_t mask = ignoreCase && isLetter(p) ? 0x20 : 0;
  return {index, uint8_t(p | mask), mask};
}

// Rough frequency of byte values in executables: zeros and fill bytes are
// everywhere, common opcodes often, text letters now and then.
int commonness(uint8_t b) {
  switch (b) {
    case 0x00: return 9;
    case 0xFF: return 7;
    case 0xCC:
    case 0x90:
    case 0x8B: return 6;
    case 0x01:
    case 0x20:
    case 0x24:
    case 0x45:
    case 0x83:
    case 0x89:
    case 0xE8: return 5;
    default: break;
  }
  if (b < 0x10) return 4;
  if (b >= 'a' && b <= 'z') return 3;
  return 2;
}

void chooseAnchors(const uint8_t* pattern, uint32_t length, bool ignoreCase, TAnchor& a,
                   TAnchor& b) {
  uint32_t ia = 0;
  for (uint32_t i = 1; i < length; ++i)
    if (commonness(pattern[i]) < commonness(pattern[ia])) ia = i;
  uint32_t ib = ia;
  for (uint32_t i = 0; i < length; ++i) {
    if (i == ia) continue;
    if (ib == ia || commonness(pattern[i]) < commonness(pattern[ib]) ||
        (pattern[ib] == pattern[ia] && pattern[i] != pattern[ia] &&
         commonness(pattern[i]) == commonness(pattern[ib])))
      ib = i;
  }
  a = anchorAt(pattern, ia, ignoreCase);
  b = anchorAt(pattern, ib, ignoreCase);
}

inline bool matches(const uint8_t* at, const uint8_t* pattern, uint32_t length, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(at, pattern, length) == 0;
  for (uint32_t k = 0; k < length; ++k) {
    const uint8_t p = pattern[k], f = at[k];
    if (f == p) continue;
    if (!isLetter(p) || (f | 0x20) != (p | 0x20)) return false;
  }
  return true;
}

inline bool anchorsAgree(const uint8_t* at, const TAnchor& a, const TAnchor& b) {
  return uint8_t(at[a.index] | a.mask) == a.key && uint8_t(at[b.index] | b.mask) == b.key;
}

#if defined(__SSE2__)
// Bit k set: both anchors agree for the candidate at `at` + k.
inline unsigned blockMask(const uint8_t* at, const TAnchor& a, const TAnchor& b, __m128i keyA,
                          __m128i maskA, __m128i keyB, __m128i maskB) {
  const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + a.index));
  const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + b.index));
  const __m128i ea = _mm_cmpeq_epi8(_mm_or_si128(va, maskA), keyA);
  const __m128i eb = _mm_cmpeq_epi8(_mm_or_si128(vb, maskB), keyB);
  return unsigned(_mm_movemask_epi8(_mm_and_si128(ea, eb)));
}
#endif

}  // namespace

bool patternMatchesAt(const uint8_t* buffer, uint32_t size, uint32_t position,
                      const uint8_t* pattern, uint32_t length, bool ignoreCase) {
  const int64_t lastPos = lastCandidate(size, length);
  if (lastPos < 0 || position > lastPos) return false;
  return matches(buffer + position, pattern, length, ignoreCase);
}

uint32_t findForward(const uint8_t* buffer, uint32_t size, const uint8_t* pattern, uint32_t length,
                     bool ignoreCase, uint32_t from, uint32_t last) {
  const int64_t lastPos = lastCandidate(size, length);
  if (lastPos < 0) return SEARCH_NO_HIT;
  if (last > lastPos) last = uint32_t(lastPos);
  if (from > last) return SEARCH_NO_HIT;

  if (length == 1 && !(ignoreCase && isLetter(pattern[0]))) {
    const void* hit = std::memchr(buffer + from, pattern[0], size_t(last - from) + 1);
    return hit ? uint32_t(static_cast<const uint8_t*>(hit) - buffer) : SEARCH_NO_HIT;
  }
  TAnchor a, b;
  chooseAnchors(pattern, length, ignoreCase, a, b);
  uint64_t i = from;
#if defined(__SSE2__)
  const __m128i keyA = _mm_set1_epi8(char(a.key)), maskA = _mm_set1_epi8(char(a.mask));
  const __m128i keyB = _mm_set1_epi8(char(b.key)), maskB = _mm_set1_epi8(char(b.mask));
  // All 16 candidates of a block lie in from .. last, so both loads stay
  // within the buffer (last + length <= size).
  for (; i + 15 <= last; i += 16) {
    unsigned m = blockMask(buffer + i, a, b, keyA, maskA, keyB, maskB);
    while (m) {
      const uint32_t pos = uint32_t(i) + uint32_t(__builtin_ctz(m));
      if (matches(buffer + pos, pattern, length, ignoreCase)) return pos;
      m &= m - 1;
    }
  }
#endif
  for (; i <= last; ++i)
    if (anchorsAgree(buffer + i, a, b) && matches(buffer + i, pattern, length, ignoreCase))
      return uint32_t(i);
  return SEARCH_NO_HIT;
}

uint32_t findBackward(const uint8_t* buffer, uint32_t size, const uint8_t* pattern, uint32_t length,
                      bool ignoreCase, uint32_t from, uint32_t first) {
  const int64_t lastPos = lastCandidate(size, length);
  if (lastPos < 0) return SEARCH_NO_HIT;
  if (from > lastPos) from = uint32_t(lastPos);
  if (first > from) return SEARCH_NO_HIT;

  TAnchor a, b;
  chooseAnchors(pattern, length, ignoreCase, a, b);
  // i is one above the next candidate to examine.
  int64_t i = int64_t(from) + 1;
#if defined(__SSE2__)
  const __m128i keyA = _mm_set1_epi8(char(a.key)), maskA = _mm_set1_epi8(char(a.mask));
  const __m128i keyB = _mm_set1_epi8(char(b.key)), maskB = _mm_set1_epi8(char(b.mask));
  for (; i - 16 >= int64_t(first); i -= 16) {
    const uint32_t base = uint32_t(i - 16);
    unsigned m = blockMask(buffer + base, a, b, keyA, maskA, keyB, maskB);
    while (m) {
      const int top = 31 - __builtin_clz(m);
      const uint32_t pos = base + uint32_t(top);
      if (matches(buffer + pos, pattern, length, ignoreCase)) return pos;
      m &= ~(1u << top);
    }
  }
#endif
  while (--i >= int64_t(first))
    if (anchorsAgree(buffer + i, a, b) && matches(buffer + i, pattern, length, ignoreCase))
      return uint32_t(i);
  return SEARCH_NO_HIT;
}

int64_t firstCandidate(uint32_t p, bool backward, bool skipStart, uint32_t size, uint32_t length) {
  const int64_t lastPos = lastCandidate(size, length);
  if (lastPos < 0) return -1;
  int64_t c = int64_t(p) + (skipStart ? (backward ? -1 : 1) : 0);
  if (backward && c > lastPos) c = lastPos;
  return c < 0 || c > lastPos ? -1 : c;
}
