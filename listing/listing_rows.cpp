#include "listing/listing_rows.h"

#include "analysis/comment_container.h"
#include "analysis/jc_refs.h"
#include "analysis/store_locks.h"
#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"
#include "image/image_info.h"
#include "image/pe_layout.h"

namespace {

const char kHex[] = "0123456789ABCDEF";
const char kReferencePrefix[] = "---> Possible reference from ";
constexpr uint32_t kReferencePrefixWidth = sizeof kReferencePrefix - 1;

// The line source as the state configures it.
TLineSource sourceFor(const TListingState& state, const TListingContext& ctx) {
  TLineSource src = ctx.lines;
  src.markRelocations = state.markRelocations;
  // Before the first traced step no byte has a state worth asking for.
  if (src.trace && !src.trace->anyByteState()) src.trace = nullptr;
  return src;
}

// Appends to a row's text, cutting at its capacity.
struct TRowText {
  char* p;
  size_t len = 0;
  explicit TRowText(char* text) : p(text) { p[0] = 0; }
  void put(char c) {
    if (len + 1 < RENDERED_LINE_CAPACITY) {
      p[len++] = c;
      p[len] = 0;
    }
  }
  void puts(const char* s) {
    while (*s) put(*s++);
  }
  void colour(uint8_t c) {
    put(COLOUR_MARK);
    put(static_cast<char>(c));
  }
  void hex8(uint32_t v) {
    for (int i = 7; i >= 0; --i) put(kHex[(v >> (4 * i)) & 15]);
  }
};

// Where rows go: the rows of a paint, a stream that hands each finished row
// to a callback, or nowhere when they are only counted.
struct TRowSink {
  TListingPaint* paint = nullptr;
  const TRowCallback* stream = nullptr;
  uint32_t limit = 0;
  uint32_t used = 0;
  TListingRow scratch;
  bool pending = false;             // stream: scratch holds a row not yet handed on
  Hotspot local[LISTING_HOTSPOTS];  // stream: the hotspots of the row in scratch

  ~TRowSink() { flush(); }
  void flush() {
    if (stream && pending) (*stream)(scratch, local);
    pending = false;
  }
  TListingRow* add(TRowKind kind, uint32_t offset) {
    if (used >= limit) return nullptr;
    flush();
    TListingRow* r = paint ? &paint->rows[used] : &scratch;
    ++used;
    pending = stream != nullptr;
    r->kind = kind;
    r->highlighted = false;
    r->offset = offset;
    r->lineEnd = offset;
    r->firstHotspot = paint ? paint->hotspotCount : 0;
    r->hotspotCount = 0;
    r->text[0] = 0;
    return r;
  }
  // Room for the hotspots of the current row.
  Hotspot* hotspotSpace(const TListingRow& r) {
    if (paint) return paint->hotspots + paint->hotspotCount;
    return local + r.hotspotCount;
  }
  uint32_t hotspotRoom(const TListingRow& r) const {
    if (paint) return LISTING_HOTSPOTS - paint->hotspotCount;
    return stream ? LISTING_HOTSPOTS - r.hotspotCount : 0;
  }
  void added(TListingRow& r, uint32_t n) {
    r.hotspotCount += n;
    if (paint) paint->hotspotCount += n;
  }
  void hotspot(TListingRow* r, const Hotspot& h) {
    if (hotspotRoom(*r) == 0) return;
    *hotspotSpace(*r) = h;
    added(*r, 1);
  }
  int32_t rowIndex() const { return static_cast<int32_t>(used) - 1; }
};

// Label lines of code lines met one after another: the name store is asked
// where its next name lies, and the lines below that need no lookup of their
// own while the store stays unchanged (most lines have no name).
class TLabelCursor {
 public:
  bool mayBeNamed(const TCommentContainer& names, uint32_t address) {
    const uint32_t changes = names.changeCount();
    if (changes == changes_ && address >= from_ && address < until_) return false;
    changes_ = changes;
    uint32_t next = 0;
    if (!names.nextNamed(address, next)) {
      from_ = address, until_ = UINT64_MAX;
      return false;
    }
    from_ = address, until_ = next;
    return next == address;
  }

 private:
  uint32_t changes_ = 0;
  uint64_t from_ = 1, until_ = 0;  // empty
};

bool referencesShown(const TListingState& state, const TListingContext& ctx) {
  return state.showCodeReferences && ctx.jumpCalls &&
         !(ctx.locks && ctx.locks->isLocked(TRefStoreKind::JumpCall));
}

// "---> Possible reference from " and the sources of the jumps and calls
// that lead to offset, wrapped at width; the last row the list may use ends
// with "..." when sources remain. At most maxRows rows.
void referenceRows(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                   uint32_t width, uint32_t maxRows, TRowSink& sink) {
  if (!referencesShown(state, ctx) || maxRows == 0) return;
  const TJCRefContainer& jc = *ctx.jumpCalls;
  uint32_t i = jc.findFirst(offset);
  if (i == NOT_FOUND) return;
  const TLineSource& src = ctx.lines;
  const bool memory = state.memory();
  uint32_t mzAdjust = 0;
  if (memory && src.image && src.image->isMZ() && !src.image->isPE() && src.size >= 10)
    mzAdjust = 16u * readLe16(src.buffer + mz_header::kHeaderParagraphs);
  if (width > RENDERED_LINE_CAPACITY - 16) width = RENDERED_LINE_CAPACITY - 16;

  const uint32_t firstRow = sink.used;
  TListingRow* row = sink.add(TRowKind::References, offset);
  if (!row) return;
  TRowText t(row->text);
  t.colour(COLOUR_PREFT_REF);
  t.puts(kReferencePrefix);
  uint32_t column = kReferencePrefixWidth;
  bool firstOnRow = true;
  for (; i < jc.count() && jc[i].target == offset; ++i) {
    if (!firstOnRow && column + 2 + 8 > width) {
      if (sink.used - firstRow >= maxRows) {
        t.colour(COLOUR_PREFT_REF);
        t.puts(", ...");
        return;
      }
      t.colour(COLOUR_PREFT_REF);
      t.put(',');
      row = sink.add(TRowKind::References, offset);
      if (!row) return;
      t = TRowText(row->text);
      for (uint32_t k = 0; k < kReferencePrefixWidth; ++k) t.put(' ');
      column = kReferencePrefixWidth;
      firstOnRow = true;
    }
    if (!firstOnRow) {
      t.colour(COLOUR_PREFT_REF);
      t.puts(", ");
      column += 2;
    }
    const uint32_t source = jc[i].source;
    const uint32_t shown = shownAddress(source, src, memory) + mzAdjust;
    t.colour(COLOUR_PREF_REF);
    t.hex8(shown);
    sink.hotspot(row, {source, offset, shown, int32_t(column), sink.rowIndex(), 8,
                       HOTSPOT_POSSIBLE_REF});
    column += 8;
    firstOnRow = false;
  }
}

// The rows drawn in front of the code line at offset, in their order; src is
// the context's line source, perhaps with a cache, labels a cursor or null.
void extraRowsBefore(const TListingState& state, const TListingContext& ctx, const TLineSource& src,
                     TLabelCursor* labels, uint32_t offset, uint32_t width, TRowSink& sink) {
  char text[64];
  auto marker = [&](TRowKind kind) {
    if (sink.used > 0) sink.add(TRowKind::Blank, offset);
    if (TListingRow* r = sink.add(kind, offset)) {
      for (size_t k = 0;; ++k) {
        r->text[k] = text[k];
        if (!text[k]) break;
      }
    }
  };
  if (src.image) {
    if (src.image->entryOffset() == offset) {
      entryLineText(text, sizeof text);
      marker(TRowKind::EntryMarker);
    }
    for (uint32_t k = 0; k < src.image->tlsCallbackCount(); ++k) {
      if (src.image->tlsCallbackOffset(k) != offset) continue;
      tlsLineText(k, text, sizeof text);
      marker(TRowKind::TlsMarker);
    }
  }
  if (ctx.names && sink.used < sink.limit) {
    char name[256];
    const uint32_t address = shownAddress(offset, src, true);
    if ((!labels || labels->mayBeNamed(*ctx.names, address)) &&
        ctx.names->lookup(address, name, sizeof name)) {
      if (TListingRow* r = sink.add(TRowKind::Label, offset))
        labelLineText(name, r->text, sizeof r->text);
    }
  }
  // The possible references leave the code line itself a row.
  const uint32_t left = sink.limit > sink.used ? sink.limit - sink.used : 0;
  referenceRows(state, ctx, offset, width, left > 1 ? left - 1 : 0, sink);
}

// Rows after the code line [offset, end): the end line and a blank after a
// return, a blank after an unconditional jump.
void rowsAfter(const TListingContext& ctx, uint32_t offset, uint32_t end, TRowSink& sink) {
  const uint8_t* b = ctx.lines.buffer + offset;
  if (isReturn(b)) {
    if (TListingRow* r = sink.add(TRowKind::EndLine, end)) endLineText(r->text, sizeof r->text);
    sink.add(TRowKind::Blank, end);
  } else if (isUnconditionalJump(b) && offset + 1 < ctx.lines.size) {
    sink.add(TRowKind::Blank, end);
  }
}

// Code lines from offset with their extra rows until the sink is full or the
// file ends; returns the offset the next row would show. firstNext receives
// the line after the first when the first row is a code line.
uint32_t codeRows(const TListingState& state, const TListingContext& ctx, uint32_t width,
                  uint32_t off, TRowSink& sink, uint32_t& firstNext) {
  TLineSource src = sourceFor(state, ctx);
  TShownAddressCache shownCache;
  src.shownCache = &shownCache;
  TLabelCursor labels;
  const uint32_t size = src.size;
  uint8_t stringState = STRING_NONE;
  uint32_t pending = off;
  while (sink.used < sink.limit && off < size) {
    extraRowsBefore(state, ctx, src, &labels, off, width, sink);
    pending = off;
    TListingRow* row = sink.add(TRowKind::Code, off);
    if (!row) break;
    const uint8_t* p = src.buffer + off;
    const uint32_t n = renderCodeLine(p, src, state.memory(), state.bits16, state.detectStrings,
                                      stringState, row->text, sizeof row->text,
                                      sink.hotspotSpace(*row), sink.hotspotRoom(*row),
                                      sink.rowIndex());
    sink.added(*row, n);
    const uint32_t end = static_cast<uint32_t>(p - src.buffer);
    row->lineEnd = end;
    row->highlighted = off == state.highlight;
    if (sink.used == 1) firstNext = end;
    rowsAfter(ctx, off, end, sink);
    pending = end;
    if (end <= off) break;  // cannot happen: every line takes a byte
    off = end;
  }
  return pending;
}

void repaint(TListingState& state, const TListingContext& ctx, TListingPaint& paint) {
  paintRows(state, ctx, paint.rowCount(), paint.width, paint);
}

uint32_t lastRowEnd(const TListingPaint& paint) {
  return paint.lineTable.empty() ? 0 : paint.lineTable.back();
}

}  // namespace

void paintRows(TListingState& state, const TListingContext& ctx, uint32_t rows, uint32_t width,
               TListingPaint& paint) {
  if (paint.rows.size() != rows) paint.rows.resize(rows);
  paint.lineTable.resize(size_t(rows) + 1);
  paint.hotspotCount = 0;
  paint.width = width;
  const TLineSource src = sourceFor(state, ctx);
  const uint32_t size = src.size;
  const bool memory = state.memory();
  TRowSink sink;
  sink.paint = &paint;
  sink.limit = rows;
  uint32_t pending = state.topOffset < size ? state.topOffset : size;
  paint.nextLineOffset = pending;

  if (state.hexDump) {
    for (uint32_t r = 0; r < rows; ++r) {
      const uint64_t off = uint64_t(state.topOffset) + 16ull * r;
      if (off >= size) break;
      TListingRow* row = sink.add(TRowKind::Hex, uint32_t(off));
      HexDump(src, uint32_t(off), 16, row->text, HEX_LINE_CAPACITY, memory);
      row->lineEnd = uint32_t(off + 16 < size ? off + 16 : size);
      pending = row->lineEnd;
    }
  } else {
    pending = codeRows(state, ctx, width, pending, sink, paint.nextLineOffset);
  }
  for (uint32_t r = sink.used; r < rows; ++r) {
    sink.add(TRowKind::PastEnd, size);
    pending = size;
  }
  for (uint32_t r = 0; r < rows; ++r) paint.lineTable[r] = paint.rows[r].offset;
  paint.lineTable[rows] = pending;
  state.nextLineOffset = paint.nextLineOffset;

  if (state.clampCursorOnPaint) {
    state.clampCursorOnPaint = false;
    if (ctx.cursorFollowsView && pending > 0 && state.cursor >= pending) state.cursor = pending - 1;
  }
}

uint64_t listRows(const TListingState& state, const TListingContext& ctx, uint32_t width,
                  uint64_t maxRows, const TRowCallback& callback) {
  TRowSink sink;
  sink.stream = &callback;
  const uint32_t size = ctx.lines.size;
  uint64_t total = 0;
  uint32_t top = state.topOffset < size ? state.topOffset : size;
  if (state.hexDump) {
    TLineSource src = sourceFor(state, ctx);
    TShownAddressCache shownCache;
    src.shownCache = &shownCache;
    sink.limit = 0xFFFFFFFFu;
    for (uint64_t off = top; off < size && (maxRows == 0 || total < maxRows); off += 16, ++total) {
      TListingRow* row = sink.add(TRowKind::Hex, uint32_t(off));
      HexDump(src, uint32_t(off), 16, row->text, HEX_LINE_CAPACITY, state.memory());
      row->lineEnd = uint32_t(off + 16 < size ? off + 16 : size);
      if (sink.used == sink.limit) {  // a row count beyond 32 bits: start counting anew
        sink.flush();
        sink.used = 0;
      }
    }
    sink.flush();
    return total;
  }
  // Chunks of rows, each continuing where the last stopped at a line start.
  uint32_t first = 0;
  while (top < size && (maxRows == 0 || total < maxRows)) {
    const uint64_t left = maxRows ? maxRows - total : 0xFFFFFFF0u;
    sink.limit = uint32_t(left < 0xFFFFFFF0u ? left : 0xFFFFFFF0u);
    sink.used = 0;
    const uint32_t next = codeRows(state, ctx, width, top, sink, first);
    total += sink.used;
    if (next <= top) break;
    top = next;
  }
  sink.flush();
  return total;
}

uint32_t rowsForLine(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                     uint32_t width, bool first) {
  if (offset >= ctx.lines.size) return 0;
  TRowSink sink;
  sink.limit = 0xFFFFFFFFu;
  sink.used = first ? 0 : 1;  // a row above the line: markers get their blank
  const uint32_t before = sink.used;
  extraRowsBefore(state, ctx, ctx.lines, nullptr, offset, width, sink);
  sink.add(TRowKind::Code, offset);
  const TLineSource src = sourceFor(state, ctx);
  const uint8_t* p = src.buffer + offset;
  uint8_t s = STRING_NONE;
  Disassembly(p, src, LISTING_BYTE_CELLS, state.detectStrings, nullptr, 0, state.memory(),
              state.bits16, s);
  rowsAfter(ctx, offset, static_cast<uint32_t>(p - src.buffer), sink);
  return sink.used - before;
}

uint32_t linesForward(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                      uint32_t n) {
  const TLineSource src = sourceFor(state, ctx);
  if (offset > src.size) offset = src.size;
  const uint8_t* p = src.buffer + offset;
  uint8_t s = STRING_NONE;
  for (uint32_t i = 0; i < n && uint32_t(p - src.buffer) < src.size; ++i)
    Disassembly(p, src, LISTING_BYTE_CELLS, state.detectStrings, nullptr, 0, state.memory(),
                state.bits16, s);
  return static_cast<uint32_t>(p - src.buffer);
}

namespace {

// Lines decoded from 48 bytes before `offset` fall into step with the
// listing's own: the start of the line that reaches `offset` (ends at or past
// it), or with `past` the line that holds the byte at `offset`.
uint32_t syncedLineStart(const TListingState& state, const TLineSource& src, uint32_t offset,
                         bool past) {
  const uint8_t* p = src.buffer + (offset > 48 ? offset - 48 : 0);
  uint8_t s = STRING_NONE;
  uint32_t start, end;
  do {
    start = static_cast<uint32_t>(p - src.buffer);
    Disassembly(p, src, LISTING_BYTE_CELLS, state.detectStrings, nullptr, 0, state.memory(),
                state.bits16, s);
    end = static_cast<uint32_t>(p - src.buffer);
  } while (end < offset || (past && end == offset));
  return start;
}

}  // namespace

uint32_t linesBack(const TListingState& state, const TListingContext& ctx, uint32_t offset,
                   uint32_t n) {
  const TLineSource src = sourceFor(state, ctx);
  if (offset == LINES_BACK_TOP) offset = state.topOffset;
  if (offset > src.size) offset = src.size;
  for (uint32_t i = 0; i < n && offset > 0; ++i)
    offset = syncedLineStart(state, src, offset, false);
  return offset;
}

uint32_t lineStartOf(const TListingState& state, const TListingContext& ctx, uint32_t offset) {
  const TLineSource src = sourceFor(state, ctx);
  if (offset >= src.size) return offset;
  return syncedLineStart(state, src, offset, true);
}

void updateScrollBar(TListingState& state, const TListingContext& ctx) {
  if (state.thumbTracking) return;
  const uint32_t size = ctx.lines.size;
  if (state.hexDump) {
    state.scrollPos = state.topOffset / 16;
    state.scrollMax = size ? (size - 1) / 16 : 0;
  } else {
    state.scrollPos = state.topOffset;
    state.scrollMax = size ? size - 1 : 0;
  }
}

bool gotoOffset(TListingState& state, const TListingContext& ctx, uint32_t offset,
                uint32_t linesAbove) {
  if (offset >= ctx.lines.size) {
    if (ctx.host)
      ctx.host->message(wsString("%.8lX", offset), "Invalid goto address:", MsgIcon::Warning);
    return false;
  }
  if (linesAbove == 0) {
    state.topOffset = offset;
  } else {
    state.highlight = offset;
    if (state.hexDump) {
      const uint64_t back = 16ull * linesAbove;
      state.topOffset = offset >= back ? uint32_t(offset - back) : offset % 16;
    } else {
      state.topOffset = linesBack(state, ctx, offset, linesAbove);
    }
  }
  updateScrollBar(state, ctx);
  return true;
}

bool gotoLineOf(TListingState& state, const TListingContext& ctx, uint32_t offset,
                uint32_t linesAbove) {
  if (offset < ctx.lines.size && !state.hexDump) offset = lineStartOf(state, ctx, offset);
  return gotoOffset(state, ctx, offset, linesAbove);
}

bool EvVScroll(TListingState& state, const TListingContext& ctx, TScrollCode code, int64_t thumbPos,
               uint32_t rows, bool wideThumb) {
  const uint32_t size = ctx.lines.size;
  if (size == 0) return false;
  const int64_t top = state.topOffset;
  int64_t newTop = top;
  // The narrow thumb: the first drag event switches the bar to 0..THUMB_RANGE,
  // later ones map that range onto the file.
  auto narrowThumb = [&](int64_t units, int64_t& mapped) -> bool {
    if (!state.thumbTracking) {
      state.thumbTracking = true;
      state.scrollMax = THUMB_RANGE;
      return false;
    }
    if (thumbPos > THUMB_RANGE) {
      if (ctx.host)
        ctx.host->message(wsString("thumbPos=%.8i", int32_t(thumbPos)), "THUMBPOS>50000!!!!!",
                          MsgIcon::Warning);
      return false;
    }
    mapped = (thumbPos < 0 ? 0 : thumbPos) * units / THUMB_RANGE;
    return true;
  };

  if (state.hexDump) {
    const int64_t page = int64_t(rows) * 16 - 16;
    switch (code) {
      case TScrollCode::LineUp: newTop = top - 16; break;
      case TScrollCode::LineDown: newTop = top + 16; break;
      case TScrollCode::PageUp: newTop = top - page; break;
      case TScrollCode::PageDown: newTop = top + page; break;
      case TScrollCode::ThumbTrack:
        if (wideThumb) {
          // The bar shows top / 16: dropping the thumb where it is keeps the top.
          newTop = top % 16 + thumbPos * 16;
        } else {
          int64_t line;
          if (!narrowThumb((size - 1) / 16, line)) return false;
          newTop = top % 16 + line * 16;
        }
        break;
      case TScrollCode::Top: newTop = 0; break;
      case TScrollCode::Bottom:
        newTop = (int64_t(size) + 80 - int64_t(rows) * 16) & ~int64_t(15);
        break;
      case TScrollCode::EndScroll:
        if (!state.thumbTracking) return false;
        state.thumbTracking = false;
        updateScrollBar(state, ctx);
        return false;
    }
    if (newTop >= size) newTop = top;
    if (newTop < 0) newTop = 0;
    state.topOffset = uint32_t(newTop);
    if (!state.thumbTracking) state.scrollPos = state.topOffset / 16;
    if (ctx.cursorFollowsView) {
      // The cursor keeps its column and moves by whole lines into the rows.
      const int64_t t = newTop;
      int64_t c = state.cursor;
      const int64_t rowsBytes = int64_t(rows ? rows : 1) * 16;
      if (c < t) c += (t - c + 15) / 16 * 16;
      if (c >= t + rowsBytes) c -= (c - (t + rowsBytes)) / 16 * 16 + 16;
      while (c >= size && c >= 16) c -= 16;
      if (c >= size) c = size - 1;
      if (c < 0) c = 0;
      state.cursor = uint32_t(c);
    }
    return true;
  }

  switch (code) {
    case TScrollCode::LineUp: newTop = linesBack(state, ctx, state.topOffset, 1); break;
    case TScrollCode::LineDown:
    case TScrollCode::PageDown: {
      // Stepping stops on the last line: the top never lands behind it.
      const uint32_t n = code == TScrollCode::LineDown ? 1 : (rows > 1 ? rows - 1 : 1);
      uint32_t at = state.topOffset;
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t next = linesForward(state, ctx, at, 1);
        if (next >= size) break;
        at = next;
      }
      newTop = at;
      break;
    }
    case TScrollCode::PageUp:
      newTop = linesBack(state, ctx, state.topOffset, rows > 1 ? rows - 1 : 1);
      break;
    case TScrollCode::ThumbTrack:
      if (wideThumb) {
        newTop = thumbPos;
      } else if (!narrowThumb(size - 1, newTop)) {
        return false;
      }
      break;
    case TScrollCode::Top:
      newTop = 0;
      if (ctx.cursorFollowsView) state.cursor = 0;
      break;
    case TScrollCode::Bottom:
      newTop = size - 1;
      if (ctx.cursorFollowsView) state.cursor = size - 1;
      break;
    case TScrollCode::EndScroll:
      if (!state.thumbTracking) return false;
      state.thumbTracking = false;
      updateScrollBar(state, ctx);
      return false;
  }
  if (newTop < 0) newTop = 0;
  if (newTop > int64_t(size) - 1) newTop = size - 1;
  state.topOffset = uint32_t(newTop);
  if (!state.thumbTracking) state.scrollPos = state.topOffset;
  if (ctx.cursorFollowsView) {
    if (state.cursor < state.topOffset) {
      state.cursor = state.topOffset;
      state.cursorLine = state.topOffset;
    } else {
      state.clampCursorOnPaint = true;
    }
  }
  return true;
}

namespace {

int holdingRow(const TListingPaint& paint, uint32_t cursor) {
  for (uint32_t i = 0; i < paint.rowCount(); ++i)
    if (paint.lineTable[i] <= cursor && cursor < paint.lineTable[i + 1]) return int(i);
  return -1;
}

void scrollAndRepaint(TListingState& state, const TListingContext& ctx, TListingPaint& paint,
                      TScrollCode code) {
  if (EvVScroll(state, ctx, code, 0, paint.rowCount())) repaint(state, ctx, paint);
}

void codeCursorKey(TListingState& state, const TListingContext& ctx, TListingPaint& paint,
                   TListingKey key, uint32_t width) {
  const uint32_t size = ctx.lines.size;
  const uint32_t rows = paint.rowCount();
  const int i = holdingRow(paint, state.cursor);
  switch (key) {
    case TListingKey::Right:
      if (state.nibble == 0) {
        state.nibble = 1;
      } else if (i >= 0) {
        const bool lastByte = state.cursor + 1 >= lastRowEnd(paint);
        ++state.cursor;
        state.nibble = 0;
        if (lastByte) scrollAndRepaint(state, ctx, paint, TScrollCode::LineDown);
      } else if (state.cursor + 1 < size) {
        ++state.cursor;
        state.nibble = 0;
      }
      {
        const uint32_t next = linesForward(state, ctx, state.cursorLine, 1);
        if (next <= state.cursor) state.cursorLine = next;
      }
      break;
    case TListingKey::Left:
      if (state.nibble == 1) {
        state.nibble = 0;
      } else if (state.cursor > state.topOffset || (i < 0 && state.cursor > 0)) {
        --state.cursor;
        state.nibble = 1;
      } else if (state.cursor == state.topOffset && state.cursor > 0) {
        --state.cursor;
        state.nibble = 1;
        scrollAndRepaint(state, ctx, paint, TScrollCode::LineUp);
      }
      if (state.cursor < state.cursorLine)
        state.cursorLine = previousLineStart(ctx.lines.buffer, state.cursorLine, 1, state.bits16);
      break;
    case TListingKey::Down:
      if (i < 0) {
        const uint32_t next = linesForward(state, ctx, state.cursorLine, 1);
        state.cursor += next - state.cursorLine;
        state.cursorLine = next;
      } else {
        const uint32_t old = paint.lineTable[i];
        const uint32_t dist = state.cursor - old;
        uint32_t newLine, newEnd = LISTING_NO_OFFSET;
        if (uint32_t(i) + 1 < rows) {
          newLine = paint.lineTable[i + 1];
          for (uint32_t k = i + 2; k <= rows; ++k) {
            if (paint.lineTable[k] != newLine) {
              newEnd = paint.lineTable[k];
              break;
            }
          }
        } else {
          newLine = linesForward(state, ctx, old, 1);
          newEnd = linesForward(state, ctx, old, 2);
        }
        if (newLine >= size) break;  // no line below the last one
        state.cursor = newLine + dist;
        if (newEnd != LISTING_NO_OFFSET && newEnd > newLine && state.cursor >= newEnd) {
          state.cursor = newEnd - 1;
          state.nibble = 1;
        }
        state.cursorLine = newLine;
        if (uint32_t(i) + 1 >= rows) {
          const uint32_t steps = rowsForLine(state, ctx, newLine, width, false);
          for (uint32_t k = 0; k < steps; ++k) {
            if (!EvVScroll(state, ctx, TScrollCode::LineDown, 0, rows)) break;
          }
          repaint(state, ctx, paint);
        }
      }
      break;
    case TListingKey::Up:
      if (i < 0) {
        const uint32_t prev = linesBack(state, ctx, state.cursorLine, 1);
        state.cursor -= state.cursorLine - prev;
        state.cursorLine = prev;
      } else {
        const uint32_t old = paint.lineTable[i];
        const uint32_t dist = state.cursor - old;
        uint32_t newLine = old;
        bool found = false;
        for (int j = i - 1; j >= 0; --j) {
          if (paint.lineTable[j] != old) {
            newLine = paint.lineTable[j];
            found = true;
            break;
          }
        }
        if (!found) {
          newLine = linesBack(state, ctx, state.topOffset, 1);
          if (newLine < old) scrollAndRepaint(state, ctx, paint, TScrollCode::LineUp);
        }
        if (newLine >= old) break;  // nothing above the first line
        state.cursor = newLine + dist;
        if (state.cursor >= old) {
          state.cursor = old - 1;
          state.nibble = 1;
        }
        state.cursorLine = newLine;
      }
      break;
    default: break;
  }
  if (size == 0) {
    state.cursor = 0;
    return;
  }
  if (int64_t(state.cursor) > int64_t(size) - 1) state.cursor = size - 1;
  if (state.cursor < state.topOffset || state.cursor >= lastRowEnd(paint)) {
    state.topOffset = previousLineStart(ctx.lines.buffer, state.cursor, rows / 3, state.bits16);
    updateScrollBar(state, ctx);
    repaint(state, ctx, paint);
  }
}

void hexCursorKey(TListingState& state, const TListingContext& ctx, TListingPaint& paint,
                  TListingKey key) {
  const uint32_t size = ctx.lines.size;
  const uint64_t shownEnd = uint64_t(state.topOffset) + 16ull * paint.rowCount();
  switch (key) {
    case TListingKey::Right:
      if (!state.cursorInText && state.nibble == 0) {
        state.nibble = 1;
      } else if (uint64_t(state.cursor) + 1 < size) {
        ++state.cursor;
        state.nibble = 0;
        if (state.cursor >= shownEnd) scrollAndRepaint(state, ctx, paint, TScrollCode::LineDown);
      }
      break;
    case TListingKey::Left:
      if (!state.cursorInText && state.nibble == 1) {
        state.nibble = 0;
      } else if (state.cursor > 0) {
        --state.cursor;
        state.nibble = state.cursorInText ? 0 : 1;
        if (state.cursor < state.topOffset)
          scrollAndRepaint(state, ctx, paint, TScrollCode::LineUp);
      }
      break;
    case TListingKey::Up:
      if (state.cursor >= 16) {
        state.cursor -= 16;
        if (state.cursor < state.topOffset)
          scrollAndRepaint(state, ctx, paint, TScrollCode::LineUp);
      }
      break;
    case TListingKey::Down:
      // Down stays inside the file, as Up does.
      if (uint64_t(state.cursor) + 16 < size) {
        state.cursor += 16;
        if (state.cursor >= shownEnd) scrollAndRepaint(state, ctx, paint, TScrollCode::LineDown);
      }
      break;
    default: break;
  }
}

}  // namespace

TKeyAction keyDown(TListingState& state, const TListingContext& ctx, TListingPaint& paint,
                   TListingKey key, uint32_t rows, uint32_t width) {
  if (paint.rowCount() != rows || paint.lineTable.size() != size_t(rows) + 1)
    paintRows(state, ctx, rows, width, paint);
  if (key == TListingKey::Control) {
    state.controlDown = true;
    return TKeyAction::None;
  }
  if (key == TListingKey::Backspace) return TKeyAction::Undo;
  const bool cursorKey = key == TListingKey::Left || key == TListingKey::Right ||
                         key == TListingKey::Up || key == TListingKey::Down;
  if (cursorKey && state.cursorShown && !state.controlDown && ctx.lines.size > 0) {
    if (state.hexDump)
      hexCursorKey(state, ctx, paint, key);
    else
      codeCursorKey(state, ctx, paint, key, width);
    return TKeyAction::Repaint;
  }
  const uint32_t size = ctx.lines.size;
  switch (key) {
    case TListingKey::Tab:
      state.hexDump = !state.hexDump;
      updateScrollBar(state, ctx);
      return TKeyAction::ToggleHex;
    case TListingKey::Escape: return TKeyAction::AbortTrace;
    case TListingKey::Space: return TKeyAction::ShowEip;
    case TListingKey::PageUp:
      EvVScroll(state, ctx, TScrollCode::PageUp, 0, rows);
      return TKeyAction::Repaint;
    case TListingKey::PageDown:
      EvVScroll(state, ctx, TScrollCode::PageDown, 0, rows);
      return TKeyAction::Repaint;
    case TListingKey::Home:
      EvVScroll(state, ctx, TScrollCode::Top, 0, rows);
      return TKeyAction::Repaint;
    case TListingKey::End:
      EvVScroll(state, ctx, TScrollCode::Bottom, 0, rows);
      return TKeyAction::Repaint;
    case TListingKey::Up:
      EvVScroll(state, ctx, TScrollCode::LineUp, 0, rows);
      return TKeyAction::Repaint;
    case TListingKey::Down:
      EvVScroll(state, ctx, TScrollCode::LineDown, 0, rows);
      return TKeyAction::Repaint;
    case TListingKey::Left:
    case TListingKey::Right: {
      if (key == TListingKey::Left) {
        if (state.topOffset > 0) --state.topOffset;
      } else if (uint64_t(state.topOffset) + 1 < size) {
        ++state.topOffset;
      }
      updateScrollBar(state, ctx);
      repaint(state, ctx, paint);
      if (state.cursor < state.topOffset) state.cursor += (state.topOffset - state.cursor) % 16;
      if (state.cursor > lastRowEnd(paint) && rows > 0) state.cursor = paint.lineTable[rows - 1];
      return TKeyAction::Repaint;
    }
    default: return TKeyAction::None;
  }
}

void keyUp(TListingState& state, TListingKey key) {
  if (key == TListingKey::Control) state.controlDown = false;
}
