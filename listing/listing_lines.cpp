#include "listing/listing_lines.h"

#include <cstring>

#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"
#include "disasm/decoder.h"
#include "image/image_info.h"
#include "image/pe_layout.h"
#include "image/raw_convert.h"
#include "listing/text_char.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

// Appends to a text of fixed capacity, cutting silently; a null text takes
// nothing. The terminator is written by terminate() and when the writer goes.
struct TOut {
  char* p;
  size_t cap;
  size_t len;

  TOut(char* text, size_t capacity) : p(text), cap(text ? capacity : 0), len(0) {
    if (cap) p[0] = 0;
  }
  ~TOut() { terminate(); }
  TOut(const TOut&) = delete;
  TOut& operator=(const TOut&) = delete;
  void terminate() {
    if (cap) p[len] = 0;
  }
  void put(char c) {
    if (len + 1 < cap) p[len++] = c;
  }
  void append(const char* s, size_t n) {
    if (len + n >= cap) n = cap ? cap - 1 - len : 0;
    std::memcpy(p + len, s, n);
    len += n;
  }
  void puts(const char* s) {
    while (*s) put(*s++);
  }
  void hex(uint32_t v, int digits) {
    if (len + size_t(digits) < cap) {
      // The usual case, with room for every digit: no check per digit.
      for (int i = digits - 1; i >= 0; --i) p[len++] = kHex[(v >> (4 * i)) & 15];
      return;
    }
    for (int i = digits - 1; i >= 0; --i) put(kHex[(v >> (4 * i)) & 15]);
  }
  void colour(uint8_t c) {
    put(COLOUR_MARK);
    put(static_cast<char>(c));
  }
};

// Text characters from offset, at most 32, stopping at the file end; the
// terminator flag tells whether a zero byte follows inside the file.
uint32_t asciiRunFrom(const uint8_t* b, uint32_t size, uint32_t off, uint8_t state,
                      uint32_t minLength, bool& terminator) {
  terminator = false;
  uint32_t n = 0;
  while (n < 32 && uint64_t(off) + n < size && isTextChar(b[off + n])) ++n;
  if (n < minLength && !(state == STRING_ASCII && n >= 1)) return 0;
  if (n == 0) return 0;
  terminator = uint64_t(off) + n < size && b[off + n] == 0;
  return n;
}

// The same over 16-bit units (low byte a text character, high byte 0).
uint32_t utf16RunFrom(const uint8_t* b, uint32_t size, uint32_t off, uint8_t state,
                      uint32_t minLength, bool& terminator) {
  terminator = false;
  uint32_t n = 0;
  while (n < 32 && uint64_t(off) + 2 * n + 1 < size && isTextChar(b[off + 2 * n]) &&
         b[off + 2 * n + 1] == 0)
    ++n;
  if (n < minLength && !(state == STRING_UTF16 && n >= 1)) return 0;
  if (n == 0) return 0;
  const uint64_t t = uint64_t(off) + 2 * n;
  terminator = t + 1 < size && b[t] == 0 && b[t + 1] == 0;
  return n;
}

// Most positions of a listing start no string: those are told apart by their
// first byte, before the run is counted (a run of no characters is none).
inline uint32_t asciiRun(const uint8_t* b, uint32_t size, uint32_t off, uint8_t state,
                         uint32_t minLength, bool& terminator) {
  if (off >= size || !isTextChar(b[off])) {
    terminator = false;
    return 0;
  }
  return asciiRunFrom(b, size, off, state, minLength, terminator);
}

inline uint32_t utf16Run(const uint8_t* b, uint32_t size, uint32_t off, uint8_t state,
                         uint32_t minLength, bool& terminator) {
  if (uint64_t(off) + 1 >= size || !isTextChar(b[off]) || b[off + 1] != 0) {
    terminator = false;
    return 0;
  }
  return utf16RunFrom(b, size, off, state, minLength, terminator);
}

// Background mark of one byte cell: relocation state when relocations are
// marked, else the trace state; 0 for none.
uint8_t cellColour(const TLineSource& src, uint32_t offset) {
  if (src.markRelocations && src.image && src.image->relocationTable()) {
    const uint32_t rva = src.image->fileOffsetToRva(offset);
    const uint32_t state = rva == NOT_IN_FILE ? 0 : src.image->relocationStateAt(rva);
    return state ? uint8_t(0x4F + state) : 0;
  }
  if (src.trace) {
    const uint8_t state = src.trace->byteState(offset) & 7;
    return state ? uint8_t(COLOUR_BACK_NORMAL + state) : 0;
  }
  return 0;
}

void addressPrefix(TOut& o, uint32_t shown, bool memory) {
  o.put(memory ? ':' : ' ');
  o.hex(shown, 8);
  o.put(' ');
}

char shownChar(uint8_t c) { return (isTextChar(c) && c >= 0x20) ? static_cast<char>(c) : '.'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Up to max hexadecimal digits at p; returns how many were read.
uint32_t parseHex(const char* p, uint32_t max, uint32_t& value) {
  value = 0;
  uint32_t n = 0;
  for (; n < max; ++n) {
    const int d = hexValue(p[n]);
    if (d < 0) break;
    value = (value << 4) | uint32_t(d);
  }
  return n;
}

int segmentIndex(char letter) {
  switch (letter) {
    case 'e': return 0;
    case 'c': return 1;
    case 's': return 2;
    case 'd': return 3;
    case 'f': return 4;
    case 'g': return 5;
    default: return -1;
  }
}

const char* tibField(uint32_t value) {
  switch (value) {
    case 0x00: return ".pvExcept";
    case 0x04: return ".pvStackUserTop";
    case 0x08: return ".pvStackUserBase";
    case 0x14: return ".pvArbitrary";
    case 0x18: return ".ptibSelf";
    case 0x2C: return ".pvTLSArray";
    default: return "";
  }
}

}  // namespace

uint32_t shownAddress(uint32_t offset, const uint8_t* buffer, uint32_t size, bool memory,
                      const TImageInfo* image, uint64_t* sameShiftUntil) {
  uint64_t ignored;
  uint64_t& until = sameShiftUntil ? *sameShiftUntil : ignored;
  until = UINT64_MAX;  // the rules below that add a fixed amount hold everywhere
  if (!memory) return offset;
  // The buffer's 16 zero bytes make the signature test safe for tiny files.
  if (buffer[0] != 'M' || buffer[1] != 'Z') return offset + 0x200000;
  if (size < mz_header::kSize) return offset;  // no room for e_lfanew: no PE header
  const int32_t lfanew = static_cast<int32_t>(readLe32(buffer + mz_header::kPeHeaderOffset));
  if (lfanew < 0 || int64_t(lfanew) > int64_t(size) - 120) return offset;
  if (buffer[lfanew] != 'P' || buffer[lfanew + 1] != 'E') return offset;
  // The raw conversion needs a whole header page; a smaller PE file has no
  // sections to speak of, so every offset lies in no section.
  if (size < 0x200) return readLe32(buffer + lfanew + pe_header::kImageBase) + offset;
  if (const TRawSectionTable* table = image ? image->rawSectionsOf(buffer, size) : nullptr) {
    until = table->sameShiftUntil(offset);
    return table->fileOffsetToMemory(offset);
  }
  until = uint64_t(offset) + 1;
  return rawFileOffsetToMemory(offset, buffer, size);
}

uint32_t asciiRunLength(const uint8_t* buffer, uint32_t size, uint32_t offset, uint8_t state,
                        uint32_t minLength) {
  bool t;
  const uint32_t n = asciiRun(buffer, size, offset, state, minLength, t);
  return n ? n + (t ? 1 : 0) : 0;
}

uint32_t utf16RunLength(const uint8_t* buffer, uint32_t size, uint32_t offset, uint8_t state,
                        uint32_t minLength) {
  bool t;
  const uint32_t n = utf16Run(buffer, size, offset, state, minLength, t);
  return n ? n + (t ? 1 : 0) : 0;
}

void Disassembly(const uint8_t*& cursor, const TLineSource& src, uint32_t cells, bool detectStrings,
                 char* text, size_t cap, bool memory, bool bits16, uint8_t& stringState) {
  if (text && cap < 2 * size_t(cells) + 32) {
    if (cap) text[0] = 0;
    if (src.host)
      src.host->message("String has not enough space for this disassembly!",
                        "Disassembly() : string size error", MsgIcon::Error);
    return;
  }
  const uint8_t* b = src.buffer;
  const uint32_t off = static_cast<uint32_t>(cursor - b);
  TOut o(text, cap);
  const uint32_t shown = text ? shownAddress(off, src, memory) : 0;
  if (text) addressPrefix(o, shown, memory);
  if (off >= src.size) return;  // nothing left to show; the cursor stays

  enum { Code, ByteList, Single, Ascii, Utf16 } kind = Code;
  uint32_t end = 0;
  uint32_t count = 0;
  bool terminator = false;
  const uint32_t minLen = src.minStringLength;
  if (detectStrings) {
    bool t;
    if ((count = utf16Run(b, src.size, off, stringState, minLen, terminator))) {
      kind = Utf16;
      end = off + 2 * count + (terminator ? 2 : 0);
    } else if ((count = asciiRun(b, src.size, off, stringState, minLen, terminator))) {
      kind = Ascii;
      end = off + count + (terminator ? 1 : 0);
    } else if (utf16Run(b, src.size, off + 1, STRING_NONE, minLen, t) ||
               asciiRun(b, src.size, off + 1, STRING_NONE, minLen, t)) {
      kind = Single;
      end = off + 1;
    }
  }
  // With a bytes column of fixed width (no cell coloured) the instruction's
  // text can be made before the column is written, at the place it will
  // take: one decoding then gives the length and the text, where otherwise
  // the length is decoded first and the text a second time.
  char insn[CODE_LINE_CAPACITY];
  insn[0] = 0;
  bool insnMade = false;
  const size_t prefixWidth = 10 + (cells ? 2 * size_t(cells) + 1 : 0);
  const bool fixedColumn = !src.trace &&
                           !(src.markRelocations && src.image && src.image->relocationTable());
  if (kind == Code) {
    const uint8_t* p = cursor;
    if (text && fixedColumn && cap - prefixWidth <= sizeof insn) {
      decodeInstruction(p, DecodeListing, b, off - shown, insn, cap - prefixWidth, bits16,
                        src.fixed, src.annotator);
      insnMade = true;
    } else {
      decodeInstruction(p, DecodeLength, b, 0, nullptr, 0, bits16, nullptr, nullptr);
    }
    end = static_cast<uint32_t>(p - b);
    if (end > src.size) {
      kind = ByteList;  // runs past the file: shown as bytes, clamped below
    } else if (detectStrings) {
      // An instruction whose last bytes already belong to a following string
      // is cut where those bytes begin. A cut never empties the line: when
      // the whole instruction is such bytes it stays as decoded.
      bool t;
      uint32_t q = end;
      if (asciiRun(b, src.size, end, STRING_NONE, minLen, t)) {
        while (q > off && isTextChar(b[q - 1])) --q;
      }
      if (q == end && utf16Run(b, src.size, end, STRING_NONE, minLen, t)) {
        while (q >= off + 2 && b[q - 1] == 0 && isTextChar(b[q - 2])) q -= 2;
      }
      if (q < end && q > off) {
        end = q;
        kind = ByteList;
      }
    }
    stringState = STRING_NONE;
  } else if (kind == Ascii || kind == Utf16) {
    stringState = terminator ? STRING_NONE : (kind == Ascii ? STRING_ASCII : STRING_UTF16);
  }
  if (end > src.size) end = src.size;

  if (text) {
    const uint32_t n = end - off;
    if (cells) {
      for (uint32_t i = 0; i < cells; ++i) {
        if (i >= n) {
          o.put(' ');
          o.put(' ');
          continue;
        }
        const uint8_t mark = cellColour(src, off + i);
        if (mark) o.colour(mark);
        o.hex(b[off + i], 2);
        if (mark) o.colour(COLOUR_BACK_NORMAL);
      }
      o.put(n > cells ? '+' : ' ');
    }
    switch (kind) {
      case ByteList:
        o.puts("db    ");
        for (uint32_t i = 0; i < n; ++i) {
          if (i) o.put(',');
          o.hex(b[off + i], 2);
        }
        break;
      case Single:
        o.puts("db    ");
        o.hex(b[off], 2);
        break;
      case Ascii:
      case Utf16: {
        const char quote = kind == Ascii ? '"' : '\'';
        const uint32_t step = kind == Ascii ? 1 : 2;
        o.puts("db    ");
        o.colour(COLOUR_TEXT_REF);
        o.put(quote);
        for (uint32_t i = 0; i < count; ++i) o.put(shownChar(b[off + i * step]));
        o.put(quote);
        o.colour(COLOUR_TEXT);
        if (terminator) o.puts(",0");
        break;
      }
      case Code: {
        if (insnMade) {
          o.append(insn, std::strlen(insn));
          break;
        }
        o.terminate();  // the decoder appends behind the text
        const uint8_t* p = cursor;
        decodeInstruction(p, DecodeListing, b, off - shown, text, cap, bits16, src.fixed,
                          src.annotator);
        o.cap = 0;  // the text is complete and terminated by the decoder
        break;
      }
    }
  }
  cursor = b + end;
}

void HexDump(const TLineSource& src, uint32_t offset, uint32_t count, char* text, size_t cap,
             bool memory) {
  if (!text) return;
  if (cap < size_t(count) + 5 * size_t(count / 2) + 13) {
    if (cap) text[0] = 0;
    if (src.host)
      src.host->message("String has not enough space for this hex dump!",
                        "HexDump() : string size error", MsgIcon::Error);
    return;
  }
  TOut o(text, cap);
  addressPrefix(o, shownAddress(offset, src, memory), memory);
  const uint64_t end = src.size;
  for (uint32_t i = 0; i < count && offset + uint64_t(i) < end; i += 2) {
    o.put(i == count / 2 ? '-' : ' ');
    o.hex(src.buffer[offset + i], 2);
    if (i + 1 < count && offset + uint64_t(i) + 1 < end) o.hex(src.buffer[offset + i + 1], 2);
  }
  while (o.len < 12 + 5 * size_t(count / 2)) o.put(' ');
  for (uint32_t i = 0; i < count && offset + uint64_t(i) < end; ++i) {
    const uint8_t c = src.buffer[offset + i];
    o.put((c >= 0x20 && c < 0x7F) || c >= 0xA0 ? static_cast<char>(c) : '.');
  }
}

uint32_t renderCodeLine(const uint8_t*& cursor, const TLineSource& src, bool memory, bool bits16,
                        bool detectStrings, uint8_t& stringState, char* text, size_t cap,
                        Hotspot* hotspots, uint32_t room, int32_t row) {
  char line[CODE_LINE_CAPACITY];
  const uint32_t offset = static_cast<uint32_t>(cursor - src.buffer);
  Disassembly(cursor, src, LISTING_BYTE_CELLS, detectStrings, line, sizeof line, memory, bits16,
              stringState);
  return resolveMarks(line, offset, src, memory, bits16, text, cap, hotspots, room, row);
}

uint32_t resolveMarks(const char* in, uint32_t lineOffset, const TLineSource& src, bool memory,
                      bool bits16, char* text, size_t cap, Hotspot* hotspots, uint32_t room,
                      int32_t row) {
  TOut o(text, cap);
  const uint8_t* b = src.buffer;
  const uint32_t size = src.size;
  const bool isPE = src.image && src.image->isPE();
  const bool isMZ = src.image && src.image->isMZ();
  uint32_t imageBase = 0;
  uint32_t mzHeader = 0;
  if (size >= mz_header::kSize) {
    const uint32_t pe = readLe32(b + mz_header::kPeHeaderOffset);
    if (fitsIn(size, pe, pe_header::kImageBase + 4))
      imageBase = readLe32(b + pe + pe_header::kImageBase);
  }
  if (size >= 10) mzHeader = 16u * readLe16(b + mz_header::kHeaderParagraphs);

  uint32_t added = 0;
  int32_t column = 0;  // characters written, colour marks not counted
  const char* tib = nullptr;
  auto hotspot = [&](uint32_t target, uint32_t source, uint32_t shown, uint16_t width,
                     uint16_t type) {
    if (added < room && hotspots)
      hotspots[added++] = {target, source, shown, column, row, width, type};
  };
  auto visible = [&](char c) {
    o.put(c);
    ++column;
  };
  auto visibleHex = [&](uint32_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) visible(kHex[(v >> (4 * i)) & 15]);
  };
  const TRawSectionTable* table = src.image ? src.image->rawSectionsOf(b, size) : nullptr;
  auto rawTarget = [&](uint32_t value) {
    const uint32_t t = table ? table->rvaToFileOffset(value - imageBase)
                             : rawRvaToFileOffset(value - imageBase, b, size);
    // A section whose raw data lies beyond the file end converts to an
    // offset outside the buffer: that cannot be followed either.
    return t < size ? t : NOT_IN_FILE;
  };
  // Call and jump targets: value with its printed digits.
  auto branch = [&](uint32_t value, uint32_t digits, bool call) {
    uint32_t target = value;
    uint32_t shown = value;
    if (memory && isPE) {
      target = rawTarget(value);
      digits = 8;
    } else if (memory && isMZ) {
      shown = (value - mzHeader) & 0xFFFFu;
      digits = 4;
    }
    if (target >= size) {
      o.colour(COLOUR_TEXT);
      visibleHex(shown, int(digits));
      return;
    }
    hotspot(target, lineOffset, shown, uint16_t(digits), call ? HOTSPOT_CALL : HOTSPOT_JUMP);
    o.colour(call ? COLOUR_CALL_REF : COLOUR_JUMP_REF);
    visibleHex(shown, int(digits));
    o.colour(COLOUR_TEXT);
  };

  const char* p = in;
  while (*p) {
    const char c = *p;
    if (c == COLOUR_MARK && p[1]) {
      o.put(p[0]);
      o.put(p[1]);
      p += 2;
      continue;
    }
    if (c != REF_MARK || !p[1]) {
      // A run of plain characters in one go.
      const char* q = p + 1;
      while (static_cast<uint8_t>(*q) >= 0x20) ++q;
      o.append(p, size_t(q - p));
      column += int32_t(q - p);
      p = q;
      continue;
    }
    const uint8_t kind = static_cast<uint8_t>(p[1]);
    p += 2;
    if (!isPE && !isMZ) {
      // A raw file: the digits stay as text. The segment letter of a 16-bit
      // address goes too, or it would read as a digit of the number.
      if (kind == REF_ADDRESS16 && *p && hexValue(p[1]) >= 0) ++p;
      continue;
    }
    uint32_t value = 0;
    switch (kind) {
      case REF_ADDRESS: {
        const uint32_t n = parseHex(p, 8, value);
        const uint32_t target = rawTarget(value);
        if (target == NOT_IN_FILE || n == 0) break;  // mark deleted, digits copied
        hotspot(target, value, value, uint16_t(n), HOTSPOT_DATA);
        o.colour(COLOUR_MEMORY_REF);
        for (uint32_t i = 0; i < n; ++i) visible(p[i]);
        o.colour(COLOUR_TEXT);
        p += n;
        break;
      }
      case REF_CALL:
      case REF_JUMP: {
        const uint32_t n = parseHex(p, 8, value);
        if (n == 0) {
          o.colour(COLOUR_TEXT);
          break;
        }
        p += n;
        branch(value, n, kind == REF_CALL);
        break;
      }
      case REF_CALL_MEMORY:
      case REF_JUMP_MEMORY: {
        uint32_t n = parseHex(p, 8, value);
        const uint32_t target = imageBase && n ? rawTarget(value) : NOT_IN_FILE;
        if (target == NOT_IN_FILE) {
          o.colour(COLOUR_TEXT);
          break;
        }
        p += n;
        if (!memory || !isPE) {
          value = target;
          n = 8;
        }
        branch(value, n, kind == REF_CALL_MEMORY);
        break;
      }
      case REF_FAR_CALL:
      case REF_FAR_JUMP: {
        if (isPE) break;  // mark deleted
        uint32_t selector, offset;
        if (parseHex(p, 4, selector) != 4 || p[4] != ':' || parseHex(p + 5, 4, offset) != 4) {
          o.colour(COLOUR_TEXT);
          break;
        }
        const uint64_t target = uint64_t(selector) * 16 + offset + mzHeader;
        if (target >= size) {
          o.colour(COLOUR_TEXT);
          break;
        }
        hotspot(uint32_t(target), lineOffset, (selector << 16) | offset, 9,
                kind == REF_FAR_CALL ? HOTSPOT_FAR_CALL : HOTSPOT_FAR_JUMP);
        o.colour(kind == REF_FAR_CALL ? COLOUR_CALL_REF : COLOUR_JUMP_REF);
        for (int i = 0; i < 9; ++i) visible(p[i]);
        o.colour(COLOUR_TEXT);
        p += 9;
        break;
      }
      case REF_ADDRESS16: {
        const char letter = *p;
        if (!letter) break;
        const uint32_t n = parseHex(p + 1, 4, value);
        if (!bits16) {
          o.colour(COLOUR_TEXT);
          ++p;  // the letter goes
          if (letter == 'f') tib = tibField(value);
          break;
        }
        const int seg = segmentIndex(letter);
        const uint64_t base = (src.segments && seg >= 0) ? uint64_t(src.segments->value[seg]) * 16
                                                         : 0;
        const uint64_t target = base + value + mzHeader;
        if (n == 0 || target >= size) {
          // Not followable: plain text, and without the segment letter,
          // which would otherwise read as the first digit.
          o.colour(COLOUR_TEXT);
          ++p;
          break;
        }
        hotspot(uint32_t(target), value, memory ? uint32_t(target) : value, memory ? 8 : 4,
                HOTSPOT_DATA);
        o.colour(COLOUR_MEMORY_REF);
        p += 1 + n;
        if (memory) {
          visibleHex(uint32_t(target), 8);
        } else {
          visibleHex(value, 4);
        }
        o.colour(COLOUR_TEXT);
        break;
      }
      default: {
        o.colour(COLOUR_TEXT);
        if (src.host) {
          char msg[32];
          wsFormat(msg, sizeof msg, "ARGH! tag=%.2X", uint32_t(kind));
          src.host->message(msg, "renderCodeLine()", MsgIcon::Error);
        }
        break;
      }
    }
  }
  if (tib && *tib) {
    visible(' ');
    o.colour(COLOUR_USER1);
    for (const char* t = "-> TIB"; *t; ++t) visible(*t);
    for (const char* t = tib; *t; ++t) visible(*t);
  }
  return added;
}

uint32_t previousLineStart(const uint8_t* buffer, uint32_t offset, uint32_t count, bool bits16) {
  for (uint32_t i = 0; i < count && offset > 0; ++i) {
    uint32_t q = offset > 48 ? offset - 48 : 0;
    uint32_t last = q;
    while (q < offset) {
      last = q;
      const uint8_t* p = buffer + q;
      decodeInstruction(p, DecodeLength, buffer, 0, nullptr, 0, bits16, nullptr, nullptr);
      q = static_cast<uint32_t>(p - buffer);
    }
    offset = last;
  }
  return offset;
}

bool isReturn(const uint8_t* bytes) {
  const uint8_t b = bytes[0];
  return b == 0xC2 || b == 0xC3 || b == 0xCA || b == 0xCB;
}

bool isUnconditionalJump(const uint8_t* bytes) {
  const uint8_t b = bytes[0];
  if (b == 0xE9 || b == 0xEA || b == 0xEB) return true;
  if (b != 0xFF) return false;
  const uint8_t m = bytes[1] & 0xF0;
  return m == 0x20 || m == 0x60 || m == 0xA0 || m == 0xE0;
}

void entryLineText(char* text, size_t cap) {
  TOut o(text, cap);
  o.colour(COLOUR_ENDLINES);
  o.puts(" --- Programm entry point ---");
}

void tlsLineText(uint32_t index, char* text, size_t cap) {
  TOut o(text, cap);
  o.colour(COLOUR_ENDLINES);
  char buf[48];
  wsFormat(buf, sizeof buf, " --- %i. TLS callback ---", int(index + 1));
  o.puts(buf);
}

void labelLineText(const char* name, char* text, size_t cap) {
  TOut o(text, cap);
  o.colour(COLOUR_USER1);
  o.puts(" ----  ");
  // A name read from a map or project file must not forge a mark.
  for (const char* s = name; *s; ++s) o.put(uint8_t(*s) < 0x20 ? '.' : *s);
  o.puts("  ----");
}

void endLineText(char* text, size_t cap) {
  TOut o(text, cap);
  o.colour(COLOUR_ENDLINES);
  o.puts("---------------------------------------end");
}

uint32_t visibleLength(const char* text) {
  uint32_t n = 0;
  for (const char* p = text; *p; ++p) {
    if ((*p == COLOUR_MARK || *p == REF_MARK) && p[1]) {
      ++p;
      continue;
    }
    ++n;
  }
  return n;
}
