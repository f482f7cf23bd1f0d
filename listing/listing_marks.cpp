#include "listing/listing_marks.h"

#include <cstdint>

#include "disasm/marks.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

void hexNumber(std::string& out, uint8_t v) {
  if (v >= 16) out += kHex[v >> 4];
  out += kHex[v & 15];
}

// Terminal colours for the listing's colour codes: the foreground for text
// colours, the background for byte-cell marks.
const char* ansiFor(uint8_t code) {
  switch (code) {
    case COLOUR_MEMORY_REF: return "\x1b[34m";
    case COLOUR_CALL_REF:
    case COLOUR_CALL_REF2: return "\x1b[31m";
    case COLOUR_JUMP_REF: return "\x1b[32m";
    case COLOUR_IMPORT_REF: return "\x1b[35m";
    case COLOUR_TEXT_REF: return "\x1b[33m";
    case COLOUR_USER1: return "\x1b[36m";
    case COLOUR_USER2: return "\x1b[96m";
    case COLOUR_ENDLINES: return "\x1b[90m";
    case COLOUR_PREF_REF: return "\x1b[91m";
    case COLOUR_PREFT_REF: return "\x1b[95m";
    case COLOUR_BACK_NORMAL: return "\x1b[49m";
    case 0x41: return "\x1b[48;5;224m";  // executed
    case 0x42: return "\x1b[48;5;194m";  // read
    case 0x43: return "\x1b[48;5;223m";
    case 0x44: return "\x1b[48;5;189m";  // written
    case 0x45: return "\x1b[48;5;225m";
    case 0x46: return "\x1b[48;5;195m";
    case 0x47: return "\x1b[48;5;255m";
    case COLOUR_BACK_RELOC_START: return "\x1b[48;5;217m";
    case COLOUR_BACK_RELOC_INSIDE: return "\x1b[48;5;224m";
    default: return "\x1b[39m";
  }
}

}  // namespace

void appendMarkedText(std::string& out, const char* text, TMarkStyle style) {
  if (style == TMarkStyle::Plain) {
    // Whole listings go this way: runs of characters between marks copied
    // in one piece each (every other byte of a row is 0x20 or above).
    const char* p = text;
    while (*p) {
      const char* q = p;
      while (static_cast<uint8_t>(*q) >= 0x20) ++q;
      out.append(p, size_t(q - p));
      if (!*q) break;
      p = q + (q[1] && (*q == COLOUR_MARK || *q == REF_MARK) ? 2 : 1);
      if (p == q + 1) out += *q;  // a control byte that is no mark stays
    }
    return;
  }
  bool coloured = false;
  for (const char* p = text; *p; ++p) {
    const bool mark = (*p == COLOUR_MARK || *p == REF_MARK) && p[1];
    if (!mark) {
      const char* q = p + 1;
      while (*q && *q != COLOUR_MARK && *q != REF_MARK) ++q;
      out.append(p, size_t(q - p));
      p = q - 1;
      continue;
    }
    const uint8_t code = static_cast<uint8_t>(p[1]);
    if (style == TMarkStyle::Tokens) {
      out += *p == COLOUR_MARK ? "<c " : "{";
      hexNumber(out, code);
      out += *p == COLOUR_MARK ? ">" : "}";
    } else if (style == TMarkStyle::Ansi && *p == COLOUR_MARK) {
      out += ansiFor(code);
      coloured = true;
    }
    ++p;
  }
  if (coloured) out += "\x1b[0m";
}
