// Random phrases, types, case flags and buffers through the pattern builder
// and the byte scan; every hit must really match, and no earlier candidate
// may match.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/host.h"
#include "image/byte_search.h"
#include "image/search_pattern.h"

namespace {

bool letter(uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

bool plainMatch(const uint8_t* at, const uint8_t* p, uint32_t n, bool ic) {
  for (uint32_t k = 0; k < n; ++k)
    if (at[k] != p[k] && !(ic && letter(p[k]) && (at[k] | 0x20) == (p[k] | 0x20))) return false;
  return true;
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int type = data[0] % 6;  // 5: an unknown type
  const bool caseSensitive = data[1] & 1;
  const size_t phraseLength = data[2] % 90;
  const uint8_t startByte = data[3];
  const bool backward = data[0] & 0x80, skipStart = data[1] & 2;
  data += 4;
  size -= 4;
  if (phraseLength > size) return 0;
  const std::string_view phrase(reinterpret_cast<const char*>(data), phraseLength);
  const uint8_t* buffer = data + phraseLength;
  const uint32_t bufferSize = uint32_t(size - phraseLength);

  SilentHost host;
  auto pattern = buildSearchPattern(phrase, type, caseSensitive, host);
  if (!pattern) return 0;
  const uint8_t* p = pattern->bytes.data();
  const uint32_t n = uint32_t(pattern->bytes.size());
  check(n > 0);
  switch (pattern->type) {
    case ST_HEX: check(n <= 4 && pattern->phrase.size() == 2 * n); break;
    case ST_DECIMAL: check(n == 2 || n == 4); break;
    case ST_BYTE_LIST: check(n <= 40 && 2 * n == phraseLength); break;
    case ST_ASCII: check(n == phraseLength); break;
    case ST_UNICODE: check(n % 2 == 0 && n <= 2 * phraseLength); break;
    default: check(false);
  }
  const bool text = pattern->type == ST_ASCII || pattern->type == ST_UNICODE;
  check(pattern->ignoreCase == (text && !caseSensitive));
  if (pattern->ignoreCase)
    for (uint32_t k = 0; k < n; ++k) check(!(p[k] >= 'a' && p[k] <= 'z'));

  const int64_t last = lastCandidate(bufferSize, n);
  const uint32_t from = bufferSize ? uint32_t(startByte * uint64_t(bufferSize) / 255) : 0;
  const bool ic = pattern->ignoreCase;

  const uint32_t fwd = findForward(buffer, bufferSize, p, n, ic, from);
  int64_t firstPlain = -1;
  for (int64_t i = from; i <= last; ++i)
    if (plainMatch(buffer + i, p, n, ic)) {
      firstPlain = i;
      break;
    }
  check(firstPlain < 0 ? fwd == SEARCH_NO_HIT : fwd == uint32_t(firstPlain));

  const uint32_t bwd = findBackward(buffer, bufferSize, p, n, ic, from);
  int64_t lastPlain = -1;
  for (int64_t i = last < int64_t(from) ? last : int64_t(from); i >= 0; --i)
    if (plainMatch(buffer + i, p, n, ic)) {
      lastPlain = i;
      break;
    }
  check(lastPlain < 0 ? bwd == SEARCH_NO_HIT : bwd == uint32_t(lastPlain));
  if (bwd != SEARCH_NO_HIT) check(patternMatchesAt(buffer, bufferSize, bwd, p, n, ic));

  const int64_t first = firstCandidate(from, backward, skipStart, bufferSize, n);
  check(first == -1 || (first >= 0 && first <= last));
  return 0;
}
