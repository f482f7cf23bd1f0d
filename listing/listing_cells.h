// What the listing widget and the dump windows compute in character cells,
// kept free of the toolkit: colour words for marks and hotspots, hit tests
// of the byte columns, the hovered hotspot's text, window placement on the
// screen and the mouse-wheel accumulator.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "listing/listing_lines.h"
#include "listing/listing_rows.h"

struct TSettings;

// Colour words are 0x00BBGGRR, as the settings file keeps them.
constexpr uint32_t BREAKPOINT_BACK = 0xD5D5FF;
constexpr uint32_t BREAKPOINT_HILIGHT_BACK = 0xD5FFFF;
constexpr uint32_t NO_FOCUS_CURSOR = 0x6B6B6B;
constexpr uint32_t NO_FOCUS_CURSOR_HINT = 0xD5D5D5;
constexpr uint32_t RELOC_START_BACK = 0xC8C8FF;
constexpr uint32_t RELOC_INSIDE_BACK = 0xE8E8FF;
constexpr uint32_t DUMP_BACK = 0xDFFFFF;
constexpr uint32_t DUMP_TARGET_BACK = 0xC1E1E1;

inline uint8_t colourRed(uint32_t word) { return uint8_t(word); }
inline uint8_t colourGreen(uint32_t word) { return uint8_t(word >> 8); }
inline uint8_t colourBlue(uint32_t word) { return uint8_t(word >> 16); }

// Background tint of a byte's trace state 1..7.
uint32_t traceTint(uint8_t state);
// Text colour of a hotspot type, as its reference is coloured in the line.
uint32_t hotspotColour(const TSettings& s, uint16_t type);

// One piece of a marked text in one pair of colours.
struct TTextRun {
  uint32_t column;  // first cell
  const char* text;
  uint32_t length;
  uint32_t fg, bg;
};
// Splits text with colour marks into runs; background marks go back to
// `back` (the row's own background, which a highlight or breakpoint sets).
void markedRuns(const char* text, const TSettings& s, uint32_t back,
                const std::function<void(const TTextRun&)>& run);

// Byte under a column of a hex-dump row of 16 bytes: index 0..15 or -1.
// inText: the character area; nibble: the digit clicked in the digits area.
int hexByteAtColumn(int column, bool& inText, uint8_t& nibble);
// Byte cell under a column of a code row's bytes column: index, or -1 when
// the column holds no byte of a line of lineLength bytes.
int codeByteAtColumn(int column, uint32_t lineLength, uint8_t& nibble);
// Column of a byte's digit in a hex-dump row, and of its character; index:
// the byte's place in its row (rows start wherever the top is, not only at
// multiples of 16).
int hexCursorColumn(uint32_t index, uint8_t nibble);
int hexCharColumn(uint32_t index);

// Where the editing cursor is drawn over the rows of a paint.
struct TCursorCells {
  int row = -1;  // -1: the cursor's line is not shown
  bool hexRow = false;
  int digitColumn = 0;  // the digit under the cursor
  // Hex rows: the byte's two digits and its character.
  int pairColumn = 0;
  int charColumn = 0;
  // Code rows: the bytes column as drawn under the cursor, from column 10:
  // ten bytes that include the cursor's and "+" where bytes are cut, for a
  // line longer than the byte cells; else just the byte's two digits.
  int bytesColumn = 0;
  char bytes[2 * LISTING_BYTE_CELLS + 2] = {};
};
TCursorCells cursorCells(const TListingPaint& paint, uint32_t cursor, uint8_t nibble, bool hexDump,
                         const uint8_t* buffer, uint32_t size);

// The text a hotspot shows while hovered.
std::string hotspotText(const Hotspot& h, bool bits16, bool memory);

// A window of w x h pixels placed 70 right and 25 below the pointer and
// kept on a screen of screenW x screenH; returns the top-left corner.
struct TPoint {
  int x, y;
};
TPoint dumpWindowPlace(TPoint pointer, int w, int h, int screenW, int screenH);
// The preview window's place for a hotspot at hotspot (screen coordinates
// of its cell), with the pointer at pointerY.
// width: the window's own, when it is wider than the usual 325 pixels.
TPoint previewWindowPlace(TPoint hotspot, int pointerY, int lineHeight, int dumpRows, int screenW,
                          int screenH, int captionH, int width = 325);

// The process-wide wheel sum (signed 16 bits): adds delta and returns the
// whole steps of `per` units taken out (positive: up), keeping the rest.
int wheelSteps(int delta, int per);
void resetWheel();
