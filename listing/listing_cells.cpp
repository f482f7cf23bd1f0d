#include "listing/listing_cells.h"

#include <cstdio>

#include "disasm/marks.h"
#include "persist/settings.h"

uint32_t traceTint(uint8_t s) {
  const uint32_t r = 208 + 32 * (s & 1);
  const uint32_t g = 208 + 16 * (s & 2);
  const uint32_t b = 208 + 8 * (s & 4);
  return r | (g << 8) | (b << 16);
}

uint32_t hotspotColour(const TSettings& s, uint16_t type) {
  switch (type) {
    case HOTSPOT_DATA: return s.memoryRef;
    case HOTSPOT_CALL:
    case HOTSPOT_FAR_CALL: return s.callRef;
    case HOTSPOT_JUMP:
    case HOTSPOT_FAR_JUMP: return s.jumpRef;
    case HOTSPOT_POSSIBLE_REF: return s.possibleRefValue;
    default: return s.text;
  }
}

namespace {

uint32_t textColour(const TSettings& s, uint8_t code) {
  switch (code) {
    case COLOUR_MEMORY_REF: return s.memoryRef;
    case COLOUR_CALL_REF:
    case COLOUR_CALL_REF2: return s.callRef;
    case COLOUR_JUMP_REF: return s.jumpRef;
    case COLOUR_IMPORT_REF: return s.importRef;
    case COLOUR_TEXT_REF: return s.textRef;
    case COLOUR_USER1: return s.label;
    case COLOUR_USER2: return s.user2;
    case COLOUR_ENDLINES: return s.endLines;
    case COLOUR_PREF_REF: return s.possibleRefValue;
    case COLOUR_PREFT_REF: return s.possibleRefText;
    default: return s.text;
  }
}

}  // namespace

void markedRuns(const char* text, const TSettings& s, uint32_t back,
                const std::function<void(const TTextRun&)>& run) {
  uint32_t fg = s.text, bg = back, column = 0;
  const char* p = text;
  while (*p) {
    const char* start = p;
    while (*p && *p != COLOUR_MARK) ++p;
    if (p > start) {
      run({column, start, uint32_t(p - start), fg, bg});
      column += uint32_t(p - start);
    }
    if (!*p) break;
    const uint8_t code = static_cast<uint8_t>(p[1]);
    if (!p[1]) break;
    p += 2;
    if (code == COLOUR_BACK_NORMAL) {
      bg = back;
    } else if (code > COLOUR_BACK_NORMAL && code <= COLOUR_BACK_NORMAL + 7) {
      bg = traceTint(code - COLOUR_BACK_NORMAL);
    } else if (code == COLOUR_BACK_RELOC_START) {
      bg = RELOC_START_BACK;
    } else if (code == COLOUR_BACK_RELOC_INSIDE) {
      bg = RELOC_INSIDE_BACK;
    } else {
      fg = textColour(s, code);
    }
  }
}

int hexByteAtColumn(int column, bool& inText, uint8_t& nibble) {
  inText = false;
  nibble = 0;
  if (column >= 52 && column < 52 + 16) {
    inText = true;
    return column - 52;
  }
  if (column < 11 || column >= 11 + 5 * 8) return -1;
  const int k = (column - 11) / 5, rem = (column - 11) % 5;
  if (rem < 2) {
    nibble = uint8_t(rem);
    return 2 * k;
  }
  nibble = rem == 2 ? 0 : 1;  // the blank after the pair counts as its low digit
  return 2 * k + 1;
}

int codeByteAtColumn(int column, uint32_t lineLength, uint8_t& nibble) {
  nibble = 0;
  if (column < 10 || column >= 10 + 2 * int(LISTING_BYTE_CELLS)) return -1;
  const int i = (column - 10) / 2;
  if (uint32_t(i) >= lineLength) return -1;
  nibble = uint8_t((column - 10) % 2);
  return i;
}

int hexCursorColumn(uint32_t index, uint8_t nibble) {
  index %= 16;
  return int(11 + 5 * (index / 2) + 2 * (index % 2) + (nibble ? 1 : 0));
}

int hexCharColumn(uint32_t index) { return int(52 + index % 16); }

TCursorCells cursorCells(const TListingPaint& paint, uint32_t cursor, uint8_t nibble, bool hexDump,
                         const uint8_t* buffer, uint32_t size) {
  static const char hex[] = "0123456789ABCDEF";
  TCursorCells c;
  if (cursor >= size) return c;
  const TRowKind kind = hexDump ? TRowKind::Hex : TRowKind::Code;
  for (uint32_t r = 0; r < paint.rowCount(); ++r) {
    const TListingRow& row = paint.rows[r];
    if (row.kind != kind || cursor < row.offset || cursor >= row.lineEnd) continue;
    c.row = int(r);
    if (hexDump) {
      c.hexRow = true;
      c.pairColumn = hexCursorColumn(cursor - row.offset, 0);
      c.digitColumn = c.pairColumn + (nibble ? 1 : 0);
      c.charColumn = hexCharColumn(cursor - row.offset);
      return c;
    }
    uint32_t first = row.offset;
    size_t n = 0;
    if (row.lineEnd - row.offset > LISTING_BYTE_CELLS) {
      if (cursor - row.offset >= LISTING_BYTE_CELLS) first = cursor - (LISTING_BYTE_CELLS - 1);
      for (uint32_t i = 0; i < LISTING_BYTE_CELLS; ++i) {
        c.bytes[n++] = hex[buffer[first + i] >> 4];
        c.bytes[n++] = hex[buffer[first + i] & 15];
      }
      c.bytes[n++] = first + LISTING_BYTE_CELLS < row.lineEnd ? '+' : ' ';
      c.bytesColumn = 10;
    } else {
      c.bytes[n++] = hex[buffer[cursor] >> 4];
      c.bytes[n++] = hex[buffer[cursor] & 15];
      c.bytesColumn = 10 + 2 * int(cursor - first);
    }
    c.bytes[n] = 0;
    c.digitColumn = 10 + 2 * int(cursor - first) + (nibble ? 1 : 0);
    return c;
  }
  return c;
}

std::string hotspotText(const Hotspot& h, bool bits16, bool memory) {
  char t[24];
  if (!bits16 || h.type == HOTSPOT_POSSIBLE_REF || (h.type == HOTSPOT_DATA && memory))
    std::snprintf(t, sizeof t, "%.8X", h.shown);
  else if (h.type & 0x20)
    std::snprintf(t, sizeof t, "%.4X:%.4X", h.shown >> 16, h.shown & 0xFFFF);
  else
    std::snprintf(t, sizeof t, "%.4X", h.shown);
  return t;
}

TPoint dumpWindowPlace(TPoint pointer, int w, int h, int screenW, int screenH) {
  TPoint p{pointer.x + 70, pointer.y + 25};
  if (p.x + w >= screenW) p.x = screenW - w - 1;
  if (p.y + h >= screenH) p.y = screenH - h - 1;
  if (p.x < 0) p.x = 0;
  if (p.y < 0) p.y = 0;
  return p;
}

TPoint previewWindowPlace(TPoint hotspot, int pointerY, int lineHeight, int dumpRows, int screenW,
                          int screenH, int captionH, int width) {
  TPoint p{hotspot.x + 70, hotspot.y + 25};
  if (width < 325) width = 325;
  if (p.x + width >= screenW) p.x = screenW - width - 1;
  const int h = lineHeight * dumpRows + 4;
  // The caption stands above the rows: a window that only kept its rows above
  // the screen's edge would lose its last rows below it.
  if (p.y + captionH + h > screenH) p.y = screenH - captionH - h;
  if (p.y < 0) p.y = 0;
  if (pointerY > p.y) p.y = hotspot.y - lineHeight * (dumpRows + 1);
  // Above the hotspot may leave the screen at its top: the pointer is then
  // covered rather than the window lost.
  if (p.y < 0) p.y = 0;
  if (p.x < 0) p.x = 0;
  return p;
}

namespace {
int16_t gWheelSum = 0;
}

int wheelSteps(int delta, int per) {
  gWheelSum = int16_t(gWheelSum + delta);
  if (per <= 0) return 0;
  const int steps = gWheelSum / per;
  gWheelSum = int16_t(gWheelSum - steps * per);
  return steps;
}

void resetWheel() { gWheelSum = 0; }
