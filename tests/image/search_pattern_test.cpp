// Search patterns from phrases, and the byte scan against a plain reference.
#include <gtest/gtest.h>

#include <random>

#include "image/byte_search.h"
#include "image/search_pattern.h"
#include "support/hex_bytes.h"
#include "support/recording_host.h"

namespace {

const char* const kHexMsg =
    "Invalid hex value: You have to enter a hex value!\n(max. 32-bit in 8-bit steps i.e. 006a12)";
const char* const kDecMsg =
    "Invalid decimal value: You have to enter a decimal value!\n(16-bit with a leading 0 or 32-bit without it)";
const char* const kListMsg =
    "Invalid byte list format: You have to enter a byte list!\n(i.e. 010203A405E607)";

TEST(SearchPattern, PhrasesOfEveryType) {
  struct Case {
    std::string phrase;
    int type;
    bool caseSensitive;
    std::string bytes;   // expected pattern, empty: a message instead
    std::string result;  // rewritten phrase, or "caption: text" of the message
    int resultType = 0;
    bool ignoreCase = false;
  } cases[] = {
      {"006a12", ST_HEX, false, "126A00", "006A12", ST_HEX, false},
      {"12345678", ST_HEX, false, "78563412", "12345678", ST_HEX, false},
      {"6a1", ST_HEX, false, "A106", "06A1", ST_HEX, false},
      {"abcde", ST_HEX, false, "DEBC0A", "0ABCDE", ST_HEX, false},
      {"0100", ST_DECIMAL, false, "6400", "0100", ST_DECIMAL, false},
      {"100", ST_DECIMAL, false, "64000000", "100", ST_DECIMAL, false},
      {"065535", ST_DECIMAL, false, "FFFF", "065535", ST_DECIMAL, false},
      {"4294967295", ST_DECIMAL, false, "FFFFFFFF", "4294967295", ST_DECIMAL, false},
      {"010203A405E607", ST_BYTE_LIST, false, "010203A405E607", "010203A405E607", ST_BYTE_LIST,
       false},
      {std::string(80, 'a'), ST_BYTE_LIST, false, std::string(80, 'A'), std::string(80, 'a'),
       ST_BYTE_LIST, false},
      // Far from the chosen number type: taken as text, case rules apply.
      {"hello world", ST_HEX, false, "48454C4C4F20574F524C44", "hello world", ST_ASCII, true},
      {"hello world", ST_HEX, true, "68656C6C6F20776F726C64", "hello world", ST_ASCII, false},
      {"ab", ST_DECIMAL, false, "4142", "ab", ST_ASCII, true},
      {"01 02 03", ST_BYTE_LIST, true, "3031203032203033", "01 02 03", ST_ASCII, false},
      {"mZ!", ST_ASCII, false, "4D5A21", "mZ!", ST_ASCII, true},
      {"mZ!", ST_ASCII, true, "6D5A21", "mZ!", ST_ASCII, false},
      {"Ab", ST_UNICODE, true, "41006200", "Ab", ST_UNICODE, false},
      {"Ab", ST_UNICODE, false, "41004200", "Ab", ST_UNICODE, true},
      {"\xC3\xA4\xE2\x82\xAC", ST_UNICODE, true, "E400AC20", "\xC3\xA4\xE2\x82\xAC", ST_UNICODE,
       false},
      {"\xF0\x9F\x98\x80", ST_UNICODE, true, "3DD800DE", "\xF0\x9F\x98\x80", ST_UNICODE, false},
      {"\xFF\xC3", ST_UNICODE, true, "FF00C300", "\xFF\xC3", ST_UNICODE, false},  // not UTF-8
      {"\xE0\x80\x80", ST_UNICODE, true, "E000800080 00", "", 0, false},          // overlong: bytes
      {"12", 9, false, "12", "12", ST_HEX, false},  // unknown type reads as hex
      // Messages: fewer than two wrong characters in the type's window.
      {"", ST_HEX, false, "", kHexMsg},
      {"123456789", ST_HEX, false, "", kHexMsg},
      {"12g4", ST_HEX, false, "", kHexMsg},
      {"1234567zzzzz", ST_HEX, false, "", kHexMsg},
      {"", ST_DECIMAL, false, "", kDecMsg},
      {"12345678901", ST_DECIMAL, false, "", kDecMsg},
      {"4294967296", ST_DECIMAL, false, "", kDecMsg},
      {"065536", ST_DECIMAL, false, "", kDecMsg},
      {"12a", ST_DECIMAL, false, "", kDecMsg},
      {"0102030", ST_BYTE_LIST, false, "", kListMsg},
      {"", ST_BYTE_LIST, false, "", kListMsg},
      {std::string(82, '1'), ST_BYTE_LIST, false, "", kListMsg},
      {"01 02", ST_BYTE_LIST, false, "", kListMsg},
      {"", ST_ASCII, false, "",
       "Invalid ASCII string: You have to enter a string!\n(i.e. OXU rules)"},
      {"", ST_UNICODE, true, "",
       "Invalid Unicode string: You have to enter a string!\n(i.e. I don't like Unicode)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.phrase + " as " + searchTypeName(c.type));
    RecordingHost host;
    auto p = buildSearchPattern(c.phrase, c.type, c.caseSensitive, host);
    if (c.bytes.empty()) {
      EXPECT_FALSE(p);
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messageLines()[0], c.result);
      EXPECT_EQ(host.messages[0].icon, MsgIcon::Warning);
      continue;
    }
    ASSERT_TRUE(p);
    EXPECT_TRUE(host.messages.empty());
    std::string want = c.bytes;
    std::erase(want, ' ');
    EXPECT_EQ(hexText(p->bytes.data(), p->bytes.size()), want);
    if (c.result.empty()) continue;
    EXPECT_EQ(p->phrase, c.result);
    EXPECT_EQ(p->type, c.resultType);
    EXPECT_EQ(p->ignoreCase, c.ignoreCase);
  }
}

// The scan, checked against a plain loop over every candidate.
uint32_t naiveFind(const std::vector<uint8_t>& buf, const std::vector<uint8_t>& pat, bool ic,
                   int64_t from, int64_t to, int step) {
  auto eq = [&](uint8_t p, uint8_t f) {
    const bool letter = (p | 0x20) >= 'a' && (p | 0x20) <= 'z';
    return p == f || (ic && letter && (f | 0x20) == (p | 0x20));
  };
  for (int64_t i = from; step > 0 ? i <= to : i >= to; i += step) {
    bool ok = true;
    for (size_t k = 0; ok && k < pat.size(); ++k) ok = eq(pat[k], buf[size_t(i) + k]);
    if (ok) return uint32_t(i);
  }
  return SEARCH_NO_HIT;
}

TEST(ByteSearch, AgreesWithPlainScanInBothDirections) {
  std::mt19937 rng(1234);
  // Few distinct byte values, so that anchors agree often and hits lie at
  // block edges and at the buffer's ends.
  // '@' '[' '`' '{' differ from letters by 0x20 but must match exactly.
  const uint8_t alphabet[] = {'a', 'A', 'z', 0x00, 'Z', '@', '[', '`', '{', 0xFF};
  for (int round = 0; round < 3000; ++round) {
    const uint32_t size = rng() % 80;
    std::vector<uint8_t> buf(size);
    for (auto& b : buf) b = alphabet[rng() % (round % 2 ? 3 : sizeof alphabet)];
    std::vector<uint8_t> pat(1 + rng() % 5);
    for (auto& b : pat) b = alphabet[rng() % (round % 2 ? 3 : sizeof alphabet)];
    if (size >= pat.size() && rng() % 2) {  // plant it
      const uint32_t at = rng() % (size - uint32_t(pat.size()) + 1);
      std::copy(pat.begin(), pat.end(), buf.begin() + at);
    }
    const bool ic = rng() % 2;
    const int64_t last = int64_t(size) - int64_t(pat.size());
    const uint32_t from = rng() % (size + 3);
    SCOPED_TRACE(testing::Message() << "round " << round << " size " << size << " from " << from);
    const uint32_t fwd = findForward(buf.data(), size, pat.data(), uint32_t(pat.size()), ic, from);
    EXPECT_EQ(fwd, last < 0 ? SEARCH_NO_HIT : naiveFind(buf, pat, ic, from, last, 1));
    const uint32_t bwd = findBackward(buf.data(), size, pat.data(), uint32_t(pat.size()), ic, from);
    EXPECT_EQ(bwd, last < 0 ? SEARCH_NO_HIT
                            : naiveFind(buf, pat, ic, std::min<int64_t>(from, last), 0, -1));
    const uint32_t limit = rng() % (size + 2);
    EXPECT_EQ(findForward(buf.data(), size, pat.data(), uint32_t(pat.size()), ic, from, limit),
              last < 0 ? SEARCH_NO_HIT
                       : naiveFind(buf, pat, ic, from, std::min<int64_t>(limit, last), 1));
    EXPECT_EQ(findBackward(buf.data(), size, pat.data(), uint32_t(pat.size()), ic, from, limit),
              last < 0 ? SEARCH_NO_HIT
                       : naiveFind(buf, pat, ic, std::min<int64_t>(from, last), limit, -1));
  }
}

TEST(ByteSearch, FirstCandidate) {
  struct Case {
    uint32_t p;
    bool backward, skip;
    uint32_t size, length;
    int64_t first;
  } cases[] = {
      {0, false, true, 10, 2, 1},
      {0, false, false, 10, 2, 0},
      {8, false, true, 10, 2, -1},
      {7, false, true, 10, 2, 8},
      {0, true, true, 10, 2, -1},
      {5, true, true, 10, 2, 4},
      {9, true, true, 10, 2, 8},
      {9, true, false, 10, 2, 8},  // above the last: from the last
      {0, false, false, 4, 5, -1},
      {0, false, false, 5, 0, -1},
      {0xFFFFFFFF, false, true, 10, 1, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(firstCandidate(c.p, c.backward, c.skip, c.size, c.length), c.first)
        << c.p << " " << c.backward << " " << c.skip;
}

}  // namespace
