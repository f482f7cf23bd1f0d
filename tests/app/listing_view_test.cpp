// The listing widget over the row model: following clicked references, the
// context menus and their commands, painted colours, keys and editing, and
// the dump window's rows and scrolling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/listing/dump_window.h"
#include "app/listing/listing_view.h"
#include "base/text_format.h"
#include "document/document.h"
#include "listing/dump_model.h"
#include "persist/settings.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

namespace {

// Colours that differ from each other and from the defaults, so that a
// swapped channel or a wrong mapping shows.
TSettings testSettings() {
  TSettings s;
  s.callRef = 0x0000C0;    // red
  s.jumpRef = 0x00C000;    // green
  s.memoryRef = 0xC00000;  // blue
  s.label = 0x00A0F0;
  s.background = 0xFFFFFF;
  s.text = 0x000000;
  s.hilight = 0xB0F0B0;
  s.dumpRows = 6;
  return s;
}

QColor qc(uint32_t word) { return QColor(word & 0xFF, (word >> 8) & 0xFF, (word >> 16) & 0xFF); }

struct Fixture {
  RecordingHost host;
  TDocument doc{host};
  TSettings settings = testSettings();
  std::unique_ptr<TListingView> view;

  explicit Fixture(bool scan = false, const char* file = "gui.exe") {
    doc.settings().noScan = !scan;
    doc.setPath(fixturePath(file));
    EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
    if (scan) doc.workers().waitReferenceScan();
    doc.view().cursorShown = false;
    doc.edit().mode = 0;
    view = std::make_unique<TListingView>(doc, settings);
    view->resize(900, 40 * view->lineHeight() + 4);
    view->documentChanged();
  }
  void top(uint32_t offset, bool hex = false) {
    doc.view().hexDump = hex;
    doc.gotoOffset(offset);
    view->documentChanged();
    view->layoutRows();
  }
  const TListingPaint& paint() { return view->lastPaint(); }
  // First hotspot of a type in the current paint.
  const Hotspot* hotspot(uint16_t type) {
    for (uint32_t i = 0; i < paint().hotspotCount; ++i)
      if (paint().hotspots[i].type == type) return &paint().hotspots[i];
    return nullptr;
  }
  // Pages down until a hotspot of the type is shown.
  const Hotspot* findHotspot(uint16_t type) {
    top(0x400);
    for (int page = 0; page < 40; ++page) {
      if (const Hotspot* h = hotspot(type)) return h;
      key(Qt::Key_PageDown);
      view->layoutRows();
    }
    return nullptr;
  }
  int rowOf(uint32_t offset, TRowKind kind) {
    for (uint32_t r = 0; r < paint().rowCount(); ++r)
      if (paint().rows[r].offset == offset && paint().rows[r].kind == kind) return int(r);
    return -1;
  }
  void mouse(QEvent::Type type, Qt::MouseButton button, QPoint pos) {
    QMouseEvent e(type, pos, view->viewport()->mapToGlobal(pos), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &e);
  }
  void click(QPoint pos) {
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, pos);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, pos);
  }
  void key(int k, const QString& text = QString()) {
    QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier, text);
    QApplication::sendEvent(view.get(), &e);
  }
  QPoint at(const Hotspot& h) { return view->cellCentre(h.column + 1, h.row); }
  QImage render() {
    QImage img(view->viewport()->size(), QImage::Format_RGB32);
    view->viewport()->render(&img);
    return img;
  }
  // Whether any pixel of the cells [column, column + width) of a row has the colour.
  bool cellsHave(const QImage& img, int row, int column, int width, QColor colour) {
    const int cw = view->charWidth(), lh = view->lineHeight();
    for (int y = row * lh; y < (row + 1) * lh && y < img.height(); ++y)
      for (int x = column * cw; x < (column + width) * cw && x < img.width(); ++x)
        if (img.pixelColor(x, y) == colour) return true;
    return false;
  }
  // The edit mode, the cursor and its digit: "mode 1, cursor 603.1".
  std::string where() {
    return wsString("mode %d, cursor %X.%d", doc.edit().mode, doc.view().cursor, doc.view().nibble);
  }
  ReturnEntry newest() { return doc.history().getReturn(doc.history().count() - 1); }
};

// A code reference moves the listing and records where it was left; a data
// reference opens a data dump at its target instead.
TEST(ListingViewClicks, ReferencesMoveTheListingOrOpenADataDump) {
  struct Case {
    uint16_t type;
    uint32_t kind;  // of the history's new entry
  };
  for (const Case c : {Case{HOTSPOT_CALL, RK_CALL}, Case{HOTSPOT_JUMP, RK_JUMP},
                       Case{HOTSPOT_POSSIBLE_REF, RK_JUMP}, Case{HOTSPOT_DATA, 0}}) {
    SCOPED_TRACE(c.type);
    Fixture f(c.type == HOTSPOT_POSSIBLE_REF);
    const Hotspot* found = f.findHotspot(c.type);
    ASSERT_NE(found, nullptr);
    const Hotspot h = *found;
    const uint32_t top = f.doc.view().topOffset, entries = f.doc.history().count();
    f.click(f.at(h));
    if (c.type == HOTSPOT_DATA) {
      ASSERT_NE(f.view->dumpWindow(), nullptr);
      EXPECT_TRUE(f.view->dumpWindow()->state().dataMode);
      EXPECT_EQ(f.view->dumpWindow()->state().top, h.target);
      EXPECT_EQ(f.doc.view().topOffset, top);
      EXPECT_EQ(f.doc.history().count(), entries);
      continue;
    }
    ASSERT_EQ(f.doc.history().count(), entries + 1);
    EXPECT_EQ(f.newest(), (ReturnEntry{c.kind, h.source, 0}));
    EXPECT_EQ(f.doc.view().topOffset, h.target);
  }
}

TEST(ListingViewClicks, HoverShowsAPreviewThatFollowsTheReference) {
  Fixture f;
  const Hotspot* found = f.findHotspot(HOTSPOT_CALL);
  ASSERT_NE(found, nullptr);
  const Hotspot call = *found;
  f.mouse(QEvent::MouseMove, Qt::NoButton, f.at(call));
  EXPECT_EQ(f.view->hoveredHotspot(), int(&*found - f.paint().hotspots));
  TDumpWin* preview = f.view->previewWindow();
  ASSERT_NE(preview, nullptr);
  EXPECT_FALSE(preview->state().dataMode);
  EXPECT_EQ(preview->state().target, call.target);
  bool targetRow = false;
  for (const TDumpRow& r : preview->rows())
    targetRow = targetRow || (r.target && r.offset == call.target);
  EXPECT_TRUE(targetRow);
  // The hovered reference is drawn inverted: its cells on its own colour.
  const QImage img = f.render();
  EXPECT_TRUE(f.cellsHave(img, call.row, call.column, call.width, qc(f.settings.background)));
  EXPECT_TRUE(f.cellsHave(img, call.row, call.column, 1, qc(f.settings.callRef)));

  const Hotspot* data = f.hotspot(HOTSPOT_DATA);
  if (data) {
    f.mouse(QEvent::MouseMove, Qt::NoButton, f.at(*data));
    ASSERT_EQ(f.view->previewWindow(), preview);  // re-aimed, not replaced
    EXPECT_TRUE(preview->state().dataMode);
    EXPECT_EQ(preview->state().top, data->target);
  }
  f.mouse(QEvent::MouseMove, Qt::NoButton, f.view->cellCentre(2, 39));
  EXPECT_EQ(f.view->previewWindow(), nullptr);
  EXPECT_EQ(f.view->hoveredHotspot(), -1);
}

TEST(ListingViewClicks, BytesStartEditingAndTypedDigitsChangeThem) {
  Fixture f;
  f.top(0x600, true);
  // Hex digits of byte 3 (low digit), then the character of byte 5.
  f.click(f.view->cellCentre(hexCursorColumn(3, 1), 0));
  EXPECT_EQ(f.where(), "mode 1, cursor 603.1");
  const uint8_t before = f.doc.buffer()[0x603];
  f.key(Qt::Key_A, "a");
  EXPECT_EQ(f.doc.buffer()[0x603], uint8_t((before & 0xF0) | 0xA));
  EXPECT_EQ(f.doc.view().cursor, 0x604u);
  f.key(Qt::Key_Backspace);
  EXPECT_EQ(f.doc.buffer()[0x603], before);
  f.click(f.view->cellCentre(hexCharColumn(5), 1));
  EXPECT_EQ(f.where(), "mode 2, cursor 615.0");
  f.key(Qt::Key_Space, " ");  // a character, not "show EIP", while text is typed
  EXPECT_EQ(f.doc.buffer()[0x615], ' ');
  f.click(f.view->cellCentre(60, 80));  // beside every byte
  EXPECT_EQ(f.doc.edit().mode, 0);

  // Code rows: the instruction's columns ask for the assembler (not those of
  // the entry marker), a byte cell of the bytes column edits hex digits.
  f.top(0x625);
  const int r = f.rowOf(0x626, TRowKind::Code), marker = f.rowOf(0x625, TRowKind::EntryMarker);
  ASSERT_GE(r, 0);
  ASSERT_GE(marker, 0);
  std::vector<uint32_t> asked;
  QObject::connect(f.view.get(), &TListingView::assemblerRequested,
                   [&](uint32_t at) { asked.push_back(at); });
  struct Click {
    int row, column;
    bool asks;
  };
  for (const Click c : {Click{r, 30, false}, Click{r, 31, true}, Click{r, 35, true},
                        Click{r, 36, false}, Click{marker, 33, false}}) {
    asked.clear();
    f.click(f.view->cellCentre(c.column, c.row));
    EXPECT_EQ(asked, c.asks ? std::vector<uint32_t>{0x626} : std::vector<uint32_t>{}) << c.column;
  }
  f.click(f.view->cellCentre(12, r));
  EXPECT_EQ(f.where(), "mode 1, cursor 627.0");
  const uint8_t kept = f.doc.buffer()[0x627];
  f.key(Qt::Key_G, "g");  // not a digit: nothing typed
  EXPECT_EQ(f.doc.buffer()[0x627], kept);
  f.key(Qt::Key_5, "5");
  EXPECT_EQ(f.doc.buffer()[0x627], uint8_t(0x50 | (kept & 0x0F)));
}

TEST(ListingViewMenus, ItemsEnabledStatesAndCommandsFollowTheContext) {
  Fixture f;
  f.top(0x625);
  const int call = f.rowOf(0x633, TRowKind::Code);  // call [0x4040E4]
  ASSERT_GE(call, 0);
  using M = std::vector<TMenuItem>;
  EXPECT_EQ(f.view->contextMenuAt(f.view->cellCentre(3, call)), addressMenu());
  EXPECT_EQ(f.view->popupContext().kind, TPopupContext::Address);
  EXPECT_EQ(f.view->popupContext().target, 0x633u);

  const Hotspot* h = f.hotspot(HOTSPOT_DATA);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(f.view->contextMenuAt(f.at(*h)), hotspotMenu());
  EXPECT_EQ(f.view->popupContext().type, HOTSPOT_DATA);
  EXPECT_EQ(hotspotMenu().front(), (TMenuItem{"Search for reference value", 139, true}));

  // The dword E4 40 40 00 at 0x635 is a relocated memory address: of the goto
  // items only the memory address and the relocation are on. From the
  // instruction's first byte no relocated dword starts.
  const int ids[] = {CM_GOTO_MEMORY, CM_GOTO_RELOCATION, CM_REMOVE_RELOCATION, CM_GOTO_FILE_OFFSET,
                     CM_GOTO_RVA};
  struct Case {
    int column;
    uint32_t target;
    std::string enabled;  // of ids, '1' on, '0' off
  } cases[] = {{14, 0x635, "11100"}, {10, 0x633, "00000"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    const M items = f.view->contextMenuAt(f.view->cellCentre(c.column, call));
    EXPECT_EQ(f.view->popupContext().target, c.target);
    EXPECT_EQ(items, byteMenu(f.doc, c.target));
    std::string enabled;
    for (int id : ids) {
      const auto item = std::find_if(items.begin(), items.end(),
                                     [&](const TMenuItem& m) { return m.id == id; });
      ASSERT_NE(item, items.end()) << id;
      enabled += item->enabled ? '1' : '0';
    }
    EXPECT_EQ(enabled, c.enabled);
  }
  EXPECT_TRUE(f.view->contextMenuAt(f.view->cellCentre(32, call)).empty());  // the instruction text
  // The menu key: the byte menu of the editing cursor, else the first code line's address menu.
  QPoint at;
  EXPECT_EQ(f.view->keyboardMenu(at), addressMenu());
  f.doc.view().cursorShown = true;
  f.doc.view().cursor = 0x635;
  EXPECT_EQ(f.view->keyboardMenu(at), byteMenu(f.doc, 0x635));
  EXPECT_EQ(f.view->popupContext().target, 0x635u);
  f.doc.view().cursorShown = false;

  // Hex rows: column 13 is the second byte; three bytes before the end: nothing.
  f.top(0x600, true);
  EXPECT_FALSE(f.view->contextMenuAt(f.view->cellCentre(13, 0)).empty());
  EXPECT_EQ(f.view->popupContext().target, 0x601u);
  f.top(0x1BF0, true);
  EXPECT_TRUE(f.view->contextMenuAt(f.view->cellCentre(43, 0)).empty());   // byte 0x1BFD
  EXPECT_FALSE(f.view->contextMenuAt(f.view->cellCentre(41, 0)).empty());  // byte 0x1BFC

  // The commands of a pop-up opened on a cell of the call's row, the listing at 0x625.
  const auto popup = [&](int column, int id) {
    f.top(0x625);
    f.view->contextMenuAt(f.view->cellCentre(column, call));
    f.view->runCommand(id);
  };
  popup(14, CM_GOTO_MEMORY);
  EXPECT_EQ(f.doc.view().topOffset, f.doc.image().memoryToFileOffset(0x4040E4));
  EXPECT_EQ(f.newest(), (ReturnEntry{RK_GOTO, 0x633, 0}));
  popup(14, CM_GOTO_RELOCATION);
  EXPECT_EQ(f.doc.view().topOffset,
            f.doc.image().relocationEntryOffsetAt(f.doc.image().fileOffsetToRva(0x635)));
  // An RVA outside the image: the fixed message, nothing moves.
  const uint8_t far[4] = {0x00, 0x90, 0x00, 0x00};
  f.doc.ChangeMemory(0x635, far, 4);
  const uint32_t entries = f.doc.history().count();
  popup(14, CM_GOTO_RVA);
  EXPECT_EQ(f.host.messageLines(),
            std::vector<std::string>{"Invalid RVA address!: Sorry, address is not in file!"});
  EXPECT_EQ(f.doc.view().topOffset, 0x625u);
  EXPECT_EQ(f.doc.history().count(), entries);
  // Breakpoint from the address column, goto data into the hex dump.
  popup(3, CM_TOGGLE_BREAKPOINT);
  EXPECT_TRUE(f.doc.trace().regs().isBreakPoint(0x633));
  const Hotspot* callRef = f.findHotspot(HOTSPOT_CALL);
  ASSERT_NE(callRef, nullptr);
  const uint32_t target = callRef->target;
  std::vector<int> modes;
  QObject::connect(f.view.get(), &TListingView::commandRequested,
                   [&](int id) { modes.push_back(id); });
  f.view->contextMenuAt(f.at(*callRef));
  f.view->runCommand(CM_GOTO_DATA);
  EXPECT_TRUE(f.doc.view().hexDump);
  EXPECT_EQ(f.doc.view().topOffset, target);
  EXPECT_EQ(f.newest().kind, RK_GOTO);
  EXPECT_EQ(modes, std::vector<int>{113});
}

TEST(ListingViewMenus, NameDialogAddsChangesAndRemovesNames) {
  struct Step {
    const char* answer;  // nullptr: cancelled
    const char* expectTitle;
    const char* stored;  // nullptr: no name
    bool changed;
  };
  const Step steps[] = {
      {nullptr, "Set new address name...", nullptr, false},
      {"start_here", "Set new address name...", "start_here", true},
      {"start_here", "Edit address name...", "start_here", false},
      {"renamed", "Edit address name...", "renamed", true},
      {"", "Edit address name...", nullptr, true},
  };
  Fixture f;
  f.top(0x625);
  ASSERT_GE(f.rowOf(0x626, TRowKind::Code), 0);
  for (const Step& s : steps) {
    SCOPED_TRACE(s.answer ? s.answer : "(cancel)");
    QString title;
    f.view->askName = [&](const QString& t, const QString&) -> std::optional<std::string> {
      title = t;
      if (!s.answer) return std::nullopt;
      return std::string(s.answer);
    };
    f.doc.setProjectChanged(false);
    f.view->contextMenuAt(f.view->cellCentre(3, f.rowOf(0x626, TRowKind::Code)));
    f.view->runCommand(CM_NAME);
    EXPECT_EQ(title.toStdString(), s.expectTitle);
    EXPECT_EQ(f.doc.names().lookup(0x401226).value_or("(none)"), s.stored ? s.stored : "(none)");
    EXPECT_EQ(f.doc.projectChanged(), s.changed);
  }
}

TEST(ListingViewPaint, ColoursOfReferencesLabelsBreakpointsAndHighlights) {
  Fixture f;
  f.doc.names().add(0x401226, "labelled", REPLACE_ALWAYS);
  const Hotspot* found = f.findHotspot(HOTSPOT_CALL);
  ASSERT_NE(found, nullptr);
  const Hotspot h = *found;
  QImage img = f.render();
  EXPECT_TRUE(f.cellsHave(img, h.row, h.column, h.width, qc(f.settings.callRef)));
  EXPECT_FALSE(f.cellsHave(img, h.row, h.column, h.width, qc(f.settings.jumpRef)));

  f.top(0x625);
  const int label = f.rowOf(0x626, TRowKind::Label);
  ASSERT_GE(label, 0);
  img = f.render();
  EXPECT_TRUE(f.cellsHave(img, label, 0, 30, qc(f.settings.label)));

  struct Case {
    bool breakpoint, highlight;
    uint32_t back;
  };
  const int row = f.rowOf(0x628, TRowKind::Code);
  ASSERT_GE(row, 0);
  const int right = f.view->viewport()->width() - 3;
  const int y = row * f.view->lineHeight() + 1;
  for (const Case c : {Case{false, false, f.settings.background}, Case{true, false, 0xD5D5FF},
                       Case{true, true, 0xD5FFFF}, Case{false, true, f.settings.hilight}}) {
    if (c.breakpoint != f.doc.trace().regs().isBreakPoint(0x628))
      f.doc.trace().toggleBreakpoint(0x628);
    f.doc.view().highlight = c.highlight ? 0x628 : LISTING_NO_OFFSET;
    img = f.render();
    EXPECT_EQ(img.pixelColor(right, y), qc(c.back)) << c.breakpoint << c.highlight;
    EXPECT_EQ(img.pixelColor(right, y + f.view->lineHeight()), qc(f.settings.background));
  }

  // The cursor digit on the cursor colour (without focus: the fixed grey).
  f.doc.view().cursorShown = true;
  f.doc.view().cursor = 0x628;
  f.doc.view().nibble = 1;
  img = f.render();
  EXPECT_TRUE(f.cellsHave(img, row, 11, 1, qc(NO_FOCUS_CURSOR)));
  EXPECT_FALSE(f.cellsHave(img, row, 10, 1, qc(NO_FOCUS_CURSOR)));
}

TEST(ListingViewKeys, KeysScrollBarAndWheelMoveTheTop) {
  Fixture f;
  f.top(0x625);
  const TListingState s = f.doc.view();
  const TListingContext ctx = f.doc.listingContext();
  const uint32_t page = f.view->rows() - 1;
  QScrollBar* bar = f.view->verticalScrollBar();
  auto wheel = [&](int delta) {
    const QPointF pos(20, 20);
    QWheelEvent e(pos, f.view->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.view->viewport(), &e);
  };
  struct Step {
    const char* name;
    int key, wheelDelta;    // neither: the bar's page step
    bool fromTop;           // the top put back to 0x625 and the wheel's rest dropped first
    uint32_t lines, bytes;  // the top afterwards: this many lines and bytes past 0x625
  } steps[] = {
      {"down", Qt::Key_Down, 0, false, 1, 0},
      {"up", Qt::Key_Up, 0, false, 0, 0},
      {"page down", Qt::Key_PageDown, 0, false, page, 0},
      {"right: one byte", Qt::Key_Right, 0, false, page, 1},
      {"the bar's page step", 0, 0, true, page, 0},
      {"one notch down is four lines", 0, -120, true, 4, 0},
      {"a short turn is kept", 0, 20, false, 4, 0},
      {"for the next one", 0, 10, false, 3, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.fromTop) {
      resetWheel();
      f.top(0x625);
    }
    if (step.key)
      f.key(step.key);
    else if (step.wheelDelta)
      wheel(step.wheelDelta);
    else
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.doc.view().topOffset, linesForward(s, ctx, 0x625, step.lines) + step.bytes);
    EXPECT_EQ(bar->value(), int(f.doc.view().topOffset));
  }
  resetWheel();
  // The scroll bar covers the whole file; its thumb can make any byte the top.
  EXPECT_EQ(bar->maximum(), int(f.doc.fileSize() - 1));
  bar->setSliderDown(true);
  bar->setSliderPosition(0x701);
  bar->setSliderDown(false);
  EXPECT_EQ(f.doc.view().topOffset, 0x701u);

  std::vector<int> modes;
  QObject::connect(f.view.get(), &TListingView::commandRequested,
                   [&](int id) { modes.push_back(id); });
  f.doc.view().bits16 = true;
  f.key(Qt::Key_Tab);
  EXPECT_TRUE(f.doc.view().hexDump);
  f.key(Qt::Key_Tab);
  EXPECT_FALSE(f.doc.view().hexDump);
  EXPECT_TRUE(f.doc.view().bits16);
  EXPECT_EQ(modes, (std::vector<int>{113, 112}));
}

TEST(ListingViewKeys, CursorKeysMoveTheShownCursorByNibbleAndLine) {
  struct Step {
    int key;  // 0: the click that shows the cursor
    uint32_t cursor;
    uint8_t nibble;
    uint32_t line;  // start of the row drawn with the cursor
    int column;     // the cursor's digit in that row
  };
  // Code rows from 0x625: sub esp,A8 (6 bytes at 0x62B), push 00 (2 bytes),
  // call [004040E4] (6 bytes). Hex rows from 0x603, not a multiple of 16.
  const std::vector<Step> code = {
      {0, 0x62E, 0, 0x62B, 16},
      {Qt::Key_Right, 0x62E, 1, 0x62B, 17},
      {Qt::Key_Right, 0x62F, 0, 0x62B, 18},
      {Qt::Key_Left, 0x62E, 1, 0x62B, 17},
      {Qt::Key_Left, 0x62E, 0, 0x62B, 16},
      {Qt::Key_Left, 0x62D, 1, 0x62B, 15},
      {Qt::Key_Down, 0x632, 1, 0x631, 13},  // past the short line: its last byte
      {Qt::Key_Down, 0x634, 1, 0x633, 13},
      {Qt::Key_Up, 0x632, 1, 0x631, 13},
      {Qt::Key_Up, 0x62C, 1, 0x62B, 13},
  };
  const std::vector<Step> hex = {
      {0, 0x603, 0, 0x603, 11},
      {Qt::Key_Right, 0x603, 1, 0x603, 12},
      {Qt::Key_Right, 0x604, 0, 0x603, 13},
      {Qt::Key_Down, 0x614, 0, 0x613, 13},
      {Qt::Key_Left, 0x613, 1, 0x613, 12},
      {Qt::Key_Up, 0x603, 1, 0x603, 12},
  };
  for (const bool hexRows : {false, true}) {
    SCOPED_TRACE(hexRows ? "hex rows" : "code rows");
    Fixture f;
    f.top(hexRows ? 0x603 : 0x625, hexRows);
    const uint32_t top = f.doc.view().topOffset;
    // A Ctrl press whose release went to another window (Ctrl+G) must not
    // turn the cursor keys into scrolling.
    f.key(Qt::Key_Control);
    const TRowKind kind = hexRows ? TRowKind::Hex : TRowKind::Code;
    for (const Step& s : hexRows ? hex : code) {
      SCOPED_TRACE(s.cursor);
      if (s.key == 0)
        f.click(f.view->cellCentre(s.column, f.rowOf(s.line, kind)));
      else
        f.key(s.key);
      EXPECT_EQ(f.doc.view().cursor, s.cursor);
      EXPECT_EQ(f.doc.view().nibble, s.nibble);
      EXPECT_EQ(f.doc.view().topOffset, top);
      const int row = f.rowOf(s.line, kind);
      ASSERT_GE(row, 0);
      const QColor cursor = qc(f.view->hasFocus() ? f.settings.cursor : NO_FOCUS_CURSOR);
      const QImage img = f.render();
      EXPECT_TRUE(f.cellsHave(img, row, s.column, 1, cursor));
      EXPECT_FALSE(f.cellsHave(img, row, s.column + 2, 1, cursor));
    }
  }
}

}  // namespace
