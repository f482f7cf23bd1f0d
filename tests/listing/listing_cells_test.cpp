// The dump window's rows and scrolling, and the listing widget's cell
// arithmetic: cursor cells, window placement, hit tests, the wheel, hovered
// hotspot texts and trace tints.
#include <gtest/gtest.h>

#include <vector>

#include "base/text_format.h"
#include "document/document.h"
#include "listing/dump_model.h"
#include "listing/listing_cells.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

namespace {

TEST(DumpModel, RowsTargetsAndScrolling) {
  RecordingHost host;
  TDocument doc(host);
  doc.settings().noScan = true;
  doc.setPath(fixturePath("gui.exe"));
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  const TLineSource src = doc.listingContext().lines;
  const uint32_t size = doc.fileSize();
  std::vector<TDumpRow> rows;
  // One character a row: 'T' for the target's row.
  auto shown = [&](const TDumpState& state) {
    dumpRows(state, src, rows);
    std::string marks;
    for (const TDumpRow& r : rows) marks += r.target ? 'T' : '.';
    return marks;
  };
  TDumpState data;
  data.rows = 6;
  data.top = data.target = size - 5;
  EXPECT_EQ(shown(data), "T");
  data.top = data.target = 0x600;
  EXPECT_EQ(shown(data), "T.....");
  dumpScroll(data, src, TScrollCode::LineDown, 0);
  EXPECT_EQ(shown(data), "......");
  dumpScroll(data, src, TScrollCode::LineUp, 0);
  EXPECT_EQ(shown(data), "T.....");

  // Code form around the entry: the target starts a line even when the top
  // sits inside an instruction before it, and lies mid-window.
  TDumpState code;
  code.rows = 6;
  code.dataMode = false;
  code.memory = true;
  code.target = 0x633;
  code.top = 0x62F;
  dumpRows(code, src, rows);
  bool targetRow = false;
  for (const TDumpRow& r : rows) targetRow = targetRow || (r.target && r.offset == 0x633);
  EXPECT_TRUE(targetRow);
  code.top = dumpCodeTop(src, 0x633, 6, false);
  EXPECT_EQ(shown(code), "..T...");

  // Paging moves by the window's rows; left and right shift by one byte.
  const uint32_t before = code.top;
  dumpScroll(code, src, TScrollCode::PageDown, 0);
  uint32_t expect = before;
  for (int i = 0; i < 6; ++i) expect = dumpLineDown(src, expect, false);
  EXPECT_EQ(code.top, expect);
  dumpShift(code, size, 1);
  EXPECT_EQ(code.top, expect + 1);
  code.top = size - 1;
  EXPECT_FALSE(dumpShift(code, size, 1));
  data.top = 0;
  dumpScroll(data, src, TScrollCode::Bottom, 0);
  EXPECT_EQ(data.top, (size - 32) & ~7u);
}

TEST(ListingCells, CursorCellsOfCodeAndHexRows) {
  // mov dword ptr [esp+100h], 12345678h (11 bytes), then push eax.
  const std::vector<uint8_t> bytes = {0xC7, 0x84, 0x24, 0x00, 0x01, 0x00,
                                      0x00, 0x78, 0x56, 0x34, 0x12, 0x50};
  TempDir dir;
  writeFile(dir.file("code.bin"), bytes);
  RecordingHost host;
  TDocument doc(host);
  doc.settings().noScan = true;
  doc.setPath(dir.file("code.bin"));
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  TListingState state = doc.view();
  state.topOffset = 0;
  state.bits16 = false;  // a raw file opens in 16-bit code
  TListingPaint paint;
  paintRows(state, doc.listingContext(), 5, 80, paint);

  struct Case {
    uint32_t cursor;
    uint8_t nibble;
    bool hex;
    // "row digit-column", then the bytes column and the bytes drawn under the
    // cursor (code rows) or the character column (hex rows); "-1": no row.
    const char* cells;
  };
  const Case cases[] = {
      {0, 0, false, "0 10 10 C7842400010000785634+"},
      {9, 1, false, "0 29 10 C7842400010000785634+"},
      {10, 0, false, "0 28 10 84240001000078563412 "},  // the cut-off eleventh byte
      {11, 1, false, "1 11 10 50"},
      {12, 0, false, "-1"},      // beyond the file
      {5, 1, true, "0 24 57"},   // 11 + 5 * 2 + 2 + 1, 52 + 5
      {11, 0, true, "0 38 63"},  // 11 + 5 * 5 + 2, 52 + 11
  };
  for (const Case& c : cases) {
    state.hexDump = c.hex;
    paintRows(state, doc.listingContext(), 5, 80, paint);
    const TCursorCells k = cursorCells(paint, c.cursor, c.nibble, c.hex, doc.buffer(),
                                       doc.fileSize());
    EXPECT_EQ(k.row < 0 ? wsString("%d", k.row)
              : c.hex   ? wsString("%d %d %d", k.row, k.digitColumn, k.charColumn)
                        : wsString("%d %d %d %s", k.row, k.digitColumn, k.bytesColumn, k.bytes),
              c.cells)
        << c.cursor;
  }
  // Hex rows start at the top, wherever it is: byte 5 is the row's third.
  state.topOffset = 3;
  state.hexDump = true;
  paintRows(state, doc.listingContext(), 5, 80, paint);
  const TCursorCells shifted = cursorCells(paint, 5, 0, true, doc.buffer(), doc.fileSize());
  EXPECT_EQ(shifted.digitColumn, 11 + 5 + 0);
  EXPECT_EQ(shifted.charColumn, 52 + 2);
}

TEST(ListingCells, PlacementHitTestsAndWheel) {
  // Placement keeps the window on the screen.
  EXPECT_EQ(dumpWindowPlace({100, 100}, 340, 100, 1000, 800).x, 170);
  EXPECT_EQ(dumpWindowPlace({900, 750}, 340, 100, 1000, 800).x, 1000 - 341);
  EXPECT_EQ(dumpWindowPlace({900, 750}, 340, 100, 1000, 800).y, 800 - 101);
  const TPoint above = previewWindowPlace({100, 790}, 795, 15, 6, 1000, 800, 20);
  EXPECT_EQ(above.y, 790 - 15 * 7);
  // Below the hotspot its caption and rows would pass the screen's lower edge.
  EXPECT_EQ(previewWindowPlace({100, 700}, 700, 15, 6, 1000, 800, 20).y, 700 - 15 * 7);
  EXPECT_EQ(previewWindowPlace({950, 100}, 105, 15, 6, 1000, 800, 20).x, 1000 - 326);
  EXPECT_EQ(previewWindowPlace({950, 100}, 105, 15, 6, 1000, 800, 20, 480).x, 1000 - 481);

  // column:byte, then 't' for the text part or the nibble; '-' for no byte.
  std::string hits;
  for (int column : {11, 12, 13, 14, 16, 50, 51, 52, 67, 10}) {
    bool text;
    uint8_t nibble;
    const int index = hexByteAtColumn(column, text, nibble);
    hits += index < 0 ? wsString("%d:- ", column)
            : text    ? wsString("%d:%d t ", column, index)
                      : wsString("%d:%d.%u ", column, index, unsigned(nibble));
  }
  EXPECT_EQ(hits, "11:0.0 12:0.1 13:1.0 14:1.1 16:2.0 50:15.1 51:- 52:0 t 67:15 t 10:- ");
  uint8_t nibble;
  EXPECT_EQ(codeByteAtColumn(13, 2, nibble), 1);
  EXPECT_EQ(nibble, 1);
  EXPECT_EQ(codeByteAtColumn(14, 2, nibble), -1);
  EXPECT_EQ(codeByteAtColumn(30, 12, nibble), -1);

  resetWheel();
  EXPECT_EQ(wheelSteps(50, 30), 1);  // 20 left over
  EXPECT_EQ(wheelSteps(10, 30), 1);  // 30 -> one more step
  EXPECT_EQ(wheelSteps(-45, 30), -1);
  EXPECT_EQ(wheelSteps(-15, 30), -1);
  resetWheel();

  Hotspot far{0, 0, 0x12345678, 0, 0, 9, HOTSPOT_FAR_CALL};
  EXPECT_EQ(hotspotText(far, true, false), "1234:5678");
  Hotspot data{0, 0, 0x1234, 0, 0, 4, HOTSPOT_DATA};
  EXPECT_EQ(hotspotText(data, true, false), "1234");
  EXPECT_EQ(hotspotText(data, true, true), "00001234");
  EXPECT_EQ(traceTint(1), 0xD0D0F0u);
  EXPECT_EQ(traceTint(7), 0xF0F0F0u);
}

}  // namespace
