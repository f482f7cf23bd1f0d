// The listing's row model: which line each row of the window shows, the extra
// lines between code lines, the hotspots of a paint, line stepping, gotos,
// scroll-bar arithmetic and the cursor keys, all in character cells. The
// desktop view converts cells to pixels, draws the rows and forwards input.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "listing/listing_lines.h"

class Host;
class TCommentContainer;
class TJCRefContainer;
class TStoreLocks;

constexpr uint32_t LISTING_NO_OFFSET = 0xFFFFFFFFu;
// linesBack's stand-in for "the top offset".
constexpr uint32_t LINES_BACK_TOP = static_cast<uint32_t>(-12345);
// Hotspots kept per paint.
constexpr uint32_t LISTING_HOTSPOTS = 400;
// The thumb range a scroll bar falls back to when it cannot report 32-bit positions.
constexpr int32_t THUMB_RANGE = 50000;

// The listing's view state.
struct TListingState {
  uint32_t topOffset = 0;       // first line; below the file size unless the file is empty
  uint32_t nextLineOffset = 0;  // the line after the first, set by every paint
  bool hexDump = false;         // hex-dump rows, else code lines
  bool bits16 = false;          // 16-bit decoding
  bool fileOffsets = true;      // address column: file offsets, else memory addresses
  bool detectStrings = true;    // strings shown as data lines
  bool showCodeReferences = true;
  bool markRelocations = false;
  uint32_t highlight = LISTING_NO_OFFSET;  // line drawn on the highlight background

  // Editing cursor.
  bool cursorShown = false;
  uint32_t cursor = 0;        // byte offset
  uint8_t nibble = 0;         // 0 high, 1 low hex digit
  bool cursorInText = false;  // hex rows: in the character area
  uint32_t cursorLine = 0;    // code rows: start of the line that holds the cursor
  bool controlDown = false;

  // Scroll bar.
  uint32_t scrollPos = 0;
  uint32_t scrollMax = 0;
  bool thumbTracking = false;       // the 0..THUMB_RANGE range is in use
  bool clampCursorOnPaint = false;  // a scroll asked the next paint to pull the cursor in

  bool memory() const { return !fileOffsets; }
};

// What the listing reads. Everything is borrowed; pointers may be null.
struct TListingContext {
  TLineSource lines;                         // buffer, size, image, annotator, ...
  const TCommentContainer* names = nullptr;  // labels
  const TJCRefContainer* jumpCalls = nullptr;
  const TStoreLocks* locks = nullptr;  // possible references skipped while filled
  Host* host = nullptr;                // "Invalid goto address:" and scroll messages
  bool cursorFollowsView = false;
};

enum class TRowKind : uint8_t {
  Code,
  Hex,
  EntryMarker,
  TlsMarker,
  Label,
  References,  // "---> Possible reference from " and its addresses
  EndLine,     // after a return
  Blank,
  PastEnd,  // below the end of the file
};

struct TListingRow {
  TRowKind kind = TRowKind::PastEnd;
  bool highlighted = false;  // the code line of the highlight
  uint32_t offset = 0;       // the line table's entry for this row
  uint32_t lineEnd = 0;      // code and hex rows: offset after the line
  uint32_t firstHotspot = 0;
  uint32_t hotspotCount = 0;
  char text[RENDERED_LINE_CAPACITY] = {};  // printable characters and colour marks
};

// One paint: rows in order, the line table (rows + 1 entries: the last is the
// offset after the last row) and the hotspots. Sized once per row count;
// painting allocates nothing.
struct TListingPaint {
  std::vector<TListingRow> rows;
  std::vector<uint32_t> lineTable;
  Hotspot hotspots[LISTING_HOTSPOTS];
  uint32_t hotspotCount = 0;
  uint32_t width = 0;
  uint32_t nextLineOffset = 0;
  uint32_t rowCount() const { return static_cast<uint32_t>(rows.size()); }
};

// Fills paint with rows rows of width characters.
void paintRows(TListingState& state, const TListingContext& ctx, uint32_t rows, uint32_t width,
               TListingPaint& paint);

// Every row from the state's top to the end of the file (or maxRows rows when
// not 0), handed on one by one with the row's hotspots: the whole listing as
// the view would show it on an endless window. Returns the rows listed.
using TRowCallback = std::function<void(const TListingRow& row, const Hotspot* hotspots)>;
uint64_t listRows(const TListingState& state, const TListingContext& ctx, uint32_t width,
                  uint64_t maxRows, const TRowCallback& callback);

// The rows a code line takes by the paint's rules (markers, label, possible
// references, the line, the end line and blanks after it); first: the line is
// the view's first row (no blank before a marker).
uint32_t rowsForLine(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                     uint32_t width, bool first);

// Line stepping over code lines (extra lines are not counted); each run starts
// with no string state. linesBack accepts LINES_BACK_TOP.
uint32_t linesBack(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                   uint32_t n);
uint32_t linesForward(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                      uint32_t n);
// Start of the code line that holds offset.
uint32_t lineStartOf(const TListingState& state, const TListingContext& ctx, uint32_t offset);

// Moves the view: offset on top, or with linesAbove highlighted that many
// lines below the top. Refused with a message outside the file.
bool gotoOffset(TListingState& state, const TListingContext& ctx, uint32_t offset,
                uint32_t linesAbove = 0);
bool gotoLineOf(TListingState& state, const TListingContext& ctx, uint32_t offset,
                uint32_t linesAbove = 0);

enum class TScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Top, Bottom, EndScroll };

// Vertical scroll of the view. wideThumb: thumbPos is a position of the full
// range (top offset, or top / 16 in hex rows); otherwise the bar works in
// 0..THUMB_RANGE. Returns true when the view must be repainted.
bool EvVScroll(TListingState& state, const TListingContext& ctx, TScrollCode code, int64_t thumbPos,
               uint32_t rows, bool wideThumb = true);
// The scroll position and range for the current top (after jumps and mode switches).
void updateScrollBar(TListingState& state, const TListingContext& ctx);

enum class TListingKey {
  Left,
  Right,
  Up,
  Down,
  PageUp,
  PageDown,
  Home,
  End,
  Tab,
  Escape,
  Space,
  Backspace,
  Control,
  Other
};
// What the window has to do after a key besides repainting.
enum class TKeyAction { None, Repaint, ToggleHex, AbortTrace, ShowEip, Undo };

// A key pressed with the last paint in paint (repainted in place when the
// view moves; the caller repaints once more on Repaint).
TKeyAction keyDown(TListingState& state, const TListingContext& ctx, TListingPaint& paint,
                   TListingKey key, uint32_t rows, uint32_t width);
void keyUp(TListingState& state, TListingKey key);
