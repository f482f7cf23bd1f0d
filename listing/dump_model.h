// The small dump window's rows and scrolling in character cells: code lines
// without a bytes column, or data rows of eight bytes, near a target offset.
#pragma once
#include <cstdint>
#include <vector>

#include "listing/listing_rows.h"

struct TDumpState {
  uint32_t top = 0;
  uint32_t target = 0;
  bool dataMode = true;
  bool memory = false;  // the listing's address column at creation
  bool bits16 = false;
  uint32_t rows = 6;
  bool thumbTracking = false;
};

struct TDumpRow {
  uint32_t offset = 0;
  bool target = false;  // drawn on the target background
  char text[RENDERED_LINE_CAPACITY] = {};
};

// The rows to draw; fewer than state.rows at the end of the file.
void dumpRows(const TDumpState& state, const TLineSource& src, std::vector<TDumpRow>& rows);

// Code lines as the dump steps them (plain decoding, no strings).
uint32_t dumpLineDown(const TLineSource& src, uint32_t offset, bool bits16);
uint32_t dumpLineUp(const TLineSource& src, uint32_t offset, bool bits16);

// The top that puts target (rows / 2) - 1 code lines below it.
uint32_t dumpCodeTop(const TLineSource& src, uint32_t target, uint32_t rows, bool bits16);

// Scroll bar of the window: position and maximum for the current mode.
void dumpScrollRange(const TDumpState& state, uint32_t size, int64_t& pos, int64_t& max);
// A scroll code; wideThumb as for the listing. True when the top moved.
bool dumpScroll(TDumpState& state, const TLineSource& src, TScrollCode code, int64_t thumbPos,
                bool wideThumb = true);
// Left and right: the top one byte back or on.
bool dumpShift(TDumpState& state, uint32_t size, int direction);
