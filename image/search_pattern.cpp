#include "image/search_pattern.h"

#include "base/host.h"
#include "base/text_format.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// How many of the first `window` characters do not belong to the type.
size_t wrongCharacters(std::string_view phrase, size_t window, bool (*fits)(char)) {
  size_t wrong = 0;
  for (size_t i = 0; i < phrase.size() && i < window; ++i) wrong += !fits(phrase[i]);
  return wrong;
}

bool fitsHex(char c) { return hexDigit(c) >= 0; }
bool fitsDecimal(char c) { return isDecimalDigit(c); }

void littleEndian(std::vector<uint8_t>& out, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// Hex value: 1 to 8 hex digits, little-endian in (digits + 1) / 2 bytes.
bool hexValue(std::string_view phrase, TSearchPattern& p) {
  if (phrase.empty() || phrase.size() > 8) return false;
  uint32_t value = 0;
  for (char c : phrase) {
    int d = hexDigit(c);
    if (d < 0) return false;
    value = value << 4 | uint32_t(d);
  }
  const size_t bytes = (phrase.size() + 1) / 2;
  static const char* const kWidths[] = {"%.2X", "%.4X", "%.6X", "%.8X"};
  p.phrase = wsString(kWidths[bytes - 1], value);
  littleEndian(p.bytes, value, bytes);
  return true;
}

// Decimal value: up to 10 digits; a leading 0 means a 16-bit value, else
// 32 bits. A value that does not fit its width is refused rather than cut,
// so that the search never looks for a number other than the one typed.
bool decimalValue(std::string_view phrase, TSearchPattern& p) {
  if (phrase.empty() || phrase.size() > 10) return false;
  uint64_t value = 0;
  for (char c : phrase) {
    if (!isDecimalDigit(c)) return false;
    value = value * 10 + uint64_t(c - '0');
  }
  const bool word = phrase[0] == '0';
  if (value > (word ? 0xFFFFull : 0xFFFFFFFFull)) return false;
  littleEndian(p.bytes, uint32_t(value), word ? 2 : 4);
  return true;
}

// Byte list: pairs of hex digits in the order written, 1 to 40 bytes.
bool byteList(std::string_view phrase, TSearchPattern& p) {
  if (phrase.empty() || phrase.size() > 80 || phrase.size() % 2) return false;
  for (size_t i = 0; i < phrase.size(); i += 2) {
    int hi = hexDigit(phrase[i]), lo = hexDigit(phrase[i + 1]);
    if (hi < 0 || lo < 0) return false;
    p.bytes.push_back(uint8_t(hi << 4 | lo));
  }
  return true;
}

// UTF-16LE of the phrase. The phrase is UTF-8 text; a character up to U+00FF
// gives the character's byte followed by a 0 byte, as the text's own code page
// would. Bytes that are not valid UTF-8 each stand for the character of that
// byte value.
void unicodeBytes(std::string_view phrase, std::vector<uint8_t>& out) {
  auto unit = [&](uint32_t u) {
    out.push_back(uint8_t(u));
    out.push_back(uint8_t(u >> 8));
  };
  size_t i = 0;
  while (i < phrase.size()) {
    const uint8_t b = uint8_t(phrase[i]);
    size_t extra = b >= 0xF0 && b < 0xF5   ? 3
                   : b >= 0xE0 && b < 0xF0 ? 2
                   : b >= 0xC2 && b < 0xE0 ? 1
                                           : 0;
    uint32_t cp = extra == 3 ? b & 0x07u : extra == 2 ? b & 0x0Fu : b & 0x1Fu;
    bool valid = extra > 0 && i + extra < phrase.size();
    for (size_t k = 1; valid && k <= extra; ++k) {
      const uint8_t c = uint8_t(phrase[i + k]);
      if ((c & 0xC0) != 0x80) valid = false;
      cp = cp << 6 | (c & 0x3Fu);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not characters.
    if (valid && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                  (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
      valid = false;
    if (!valid) {
      unit(b);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 | (cp >> 10));
      unit(0xDC00 | (cp & 0x3FF));
    } else {
      unit(cp);
    }
    i += extra + 1;
  }
}

void upperCaseLetters(std::vector<uint8_t>& bytes) {
  for (auto& b : bytes)
    if (b >= 'a' && b <= 'z') b = uint8_t(b - 0x20);
}

}  // namespace

const char* searchTypeName(int type) {
  switch (type) {
    case ST_DECIMAL: return "Decimal value";
    case ST_BYTE_LIST: return "Byte list";
    case ST_ASCII: return "ASCII String";
    case ST_UNICODE: return "Unicode Str.";
    default: return "Hex value";
  }
}

std::optional<TSearchPattern> buildSearchPattern(std::string_view phrase, int type,
                                                 bool caseSensitive, Host& host) {
  TSearchPattern p;
  p.phrase = std::string(phrase);
  p.type = type >= ST_HEX && type <= ST_UNICODE ? type : ST_HEX;

  if (p.type <= ST_BYTE_LIST) {
    bool ok;
    size_t wrong;
    const char* text;
    const char* caption;
    if (p.type == ST_HEX) {
      ok = hexValue(phrase, p);
      wrong = wrongCharacters(phrase, 8, fitsHex);
      text = "You have to enter a hex value!\n(max. 32-bit in 8-bit steps i.e. 006a12)";
      caption = "Invalid hex value";
    } else if (p.type == ST_DECIMAL) {
      ok = decimalValue(phrase, p);
      wrong = wrongCharacters(phrase, 10, fitsDecimal);
      text = "You have to enter a decimal value!\n(16-bit with a leading 0 or 32-bit without it)";
      caption = "Invalid decimal value";
    } else {
      ok = byteList(phrase, p);
      wrong = wrongCharacters(phrase, 80, fitsHex);
      text = "You have to enter a byte list!\n(i.e. 010203A405E607)";
      caption = "Invalid byte list format";
    }
    if (ok) return p;
    if (wrong < 2) {
      host.message(text, caption, MsgIcon::Warning);
      return std::nullopt;
    }
    // Far from a number: the user typed text with the wrong button selected.
    p.bytes.clear();
    p.type = ST_ASCII;
  }

  if (p.type == ST_UNICODE) {
    if (phrase.empty()) {
      host.message("You have to enter a string!\n(i.e. I don't like Unicode)",
                   "Invalid Unicode string", MsgIcon::Warning);
      return std::nullopt;
    }
    unicodeBytes(phrase, p.bytes);
  } else {
    if (phrase.empty()) {
      host.message("You have to enter a string!\n(i.e. OXU rules)", "Invalid ASCII string",
                   MsgIcon::Warning);
      return std::nullopt;
    }
    p.bytes.assign(phrase.begin(), phrase.end());
  }
  p.ignoreCase = !caseSensitive;
  if (p.ignoreCase) upperCaseLetters(p.bytes);
  return p;
}
