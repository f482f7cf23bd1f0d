// The main frame over real fixture files: the menu bar as each kind of file
// leaves it, the frame keys, the history gadget, the goto dialog and the
// start-up request. Messages are recorded by the test's Host.
#include <QDropEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/listing/dump_window.h"
#include "app/ret_combo.h"
#include "app/status_bar.h"
#include "app/window_geometry.h"
#include "app_frame.h"
#include "document/command_state.h"
#include "support/pe_builder.h"

namespace {

// The texts of a widget's actions, each ended by '|', a grayed one marked.
std::string items(const QWidget* widget) {
  std::string out;
  for (QAction* a : widget->actions())
    out += a->text().toStdString() + (a->isEnabled() ? "|" : " (grayed)|");
  return out;
}

const std::string kFixedBar = "&File|&View|&Goto|&Search|&Tracing|";
const QString kShortTitle = QStringLiteral("OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA ");

// The frame's widget for a place holds what the table lays out there, in
// order; returns how many actions follow (the tool bar's history gadget).
qsizetype expectPlace(TAppFrame& f, const QWidget* widget, TPlace place) {
  SCOPED_TRACE(testing::Message() << "place " << int(place));
  const QList<QAction*> built = widget->actions();
  const std::vector<TLayoutItem> items = commandLayout(place, commandConditions(f.doc()));
  EXPECT_GE(built.size(), qsizetype(items.size()));
  for (size_t i = 0; i < items.size() && qsizetype(i) < built.size(); ++i) {
    const TLayoutItem& item = items[i];
    QAction* a = built[qsizetype(i)];
    switch (item.kind) {
      case TLayoutItem::Separator: EXPECT_TRUE(a->isSeparator()) << i; break;
      case TLayoutItem::Submenu:
        EXPECT_EQ(a->menu(), f.frame.menu(item.submenu)) << i;
        EXPECT_EQ(a->text().toStdString(), item.text);
        expectPlace(f, f.frame.menu(item.submenu), item.submenu);
        break;
      case TLayoutItem::Command: EXPECT_EQ(a, f.frame.action(item.id)) << item.id; break;
    }
  }
  return built.size() - qsizetype(items.size());
}

// A pop-up of the listing holds what the table lays out there.
void expectPopup(TPlace place, const TConditions& facts, const std::vector<TMenuItem>& menu) {
  SCOPED_TRACE(testing::Message() << "pop-up " << int(place));
  const std::vector<TLayoutItem> items = commandLayout(place, facts);
  ASSERT_EQ(menu.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(menu[i].id, items[i].id) << i;
    EXPECT_EQ(menu[i].text, items[i].text ? items[i].text : "") << i;
  }
}

TEST(Frame, BuildsWhatTheCommandTableSays) {
  TAppFrame f("");
  EXPECT_EQ(f.frame.windowTitle(), kShortTitle);
  // A hint replaces the main text while set. A highlighted menu item sends its
  // hint through the menu bar that opened its menu.
  f.frame.status()->setMainText(QStringLiteral("main"));
  f.frame.action(109)->showStatusText(f.frame.menuBar());
  EXPECT_EQ(f.frame.status()->shownText(), QStringLiteral("Run away and leave me alone ;("));
  for (const char* tip : {"Scrolls to EIP", ""}) {
    QStatusTipEvent event{QString::fromLatin1(tip)};
    QApplication::sendEvent(&f.frame, &event);
    EXPECT_EQ(f.frame.status()->shownText().toStdString(), *tip ? tip : "main");
  }
  const uint8_t nop = 0x90;
  const std::string gui = "Show image &properties|Show &imports|&Resources|";
  const auto trigger = [&](int id) { return [&f, id] { f.frame.action(id)->trigger(); }; };
  struct Step {
    std::function<void()> act;
    std::string barTail;  // the menu bar after its fixed items
    bool valueField;      // the status bar's, shown with the hex dump only
    int item = 0;         // a view item checked afterwards, or 0
    bool checked = false;
  } steps[] = {
      {[] {}, "", false},  // nothing loaded
      {[&] { f.load("gui.exe"); }, gui, false},
      {[&] { f.doc().ChangeMemory(0x625, &nop, 1); }, gui + "&Undo|", false},
      {trigger(CM_UNDO), gui + "Re&do|", false},
      {trigger(CM_REDO), gui + "&Undo|", false},
      // The view items switch the listing's modes, and the other items of a group go off.
      {trigger(CM_VIEW_HEX), gui + "&Undo|", true, CM_VIEW_HEX, true},
      {trigger(CM_VIEW_16), gui + "&Undo|", false, CM_VIEW_16, true},
      {trigger(CM_FILE_OFFSETS), gui + "&Undo|", false, CM_FILE_OFFSETS, true},
      {trigger(CM_AUTO_STRINGS), gui + "&Undo|", false, CM_AUTO_STRINGS, false},
      // Loading another file drops the undo record and its item.
      {[&] {
         f.host.answers.push_back(MsgAnswer::No);  // "File has been changed!": don't save
         f.host.fileAnswers.push_back(fixturePath("dos.exe"));
         f.frame.runCommand(CM_FILE_OPEN);
       },
       "", false},
  };
  for (size_t step = 0; step < std::size(steps); ++step) {
    SCOPED_TRACE(step);
    steps[step].act();
    EXPECT_EQ(items(f.frame.menuBar()), kFixedBar + steps[step].barTail);
    EXPECT_EQ(f.frame.status()->valueFieldShown(), steps[step].valueField);
    if (steps[step].item) {
      EXPECT_EQ(f.frame.action(steps[step].item)->isChecked(), steps[step].checked);
    }
    EXPECT_EQ(expectPlace(f, f.frame.menuBar(), TPlace::MenuBar), 0);
    EXPECT_EQ(expectPlace(f, f.frame.aboutBar(), TPlace::MenuBarRight), 0);
    EXPECT_EQ(expectPlace(f, f.frame.toolBar(), TPlace::ToolBar), 2);  // separator, gadget
    EXPECT_EQ(f.frame.toolBar()->widgetForAction(f.frame.toolBar()->actions().back()),
              f.frame.gadget());
    for (const TCommand& c : commandTable()) {
      const TCommandSlot* frameSlot = nullptr;
      for (const TCommandSlot& s : c.places)
        if (s.place != TPlace::None && s.place < TPlace::AddressPopup) frameSlot = &s;
      if (!frameSlot) continue;
      SCOPED_TRACE(c.id);
      const TCommandState state = commandState(f.doc(), c.id);
      QAction* a = f.frame.action(c.id);
      ASSERT_EQ(a != nullptr, state.shown);
      if (!a) continue;
      EXPECT_EQ(a->text().toStdString(), state.text);
      EXPECT_EQ(a->statusTip().toStdString(), c.hint ? c.hint : "");
      EXPECT_EQ(a->isEnabled(), state.enabled);
      EXPECT_EQ(a->isCheckable(), (c.flags & CF_CHECKABLE) != 0);
      EXPECT_EQ(a->isChecked(), state.checked);
      if (c.shortcut) {
        const QKeyCombination key = QKeySequence::fromString(QString::fromLatin1(c.shortcut))[0];
        const QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
        EXPECT_EQ(TDDecoratedFrame::commandForKey(press), c.id);
      }
    }
    if (!f.doc().isLoaded()) continue;
    const TConditions facts = commandConditions(f.doc());
    expectPopup(TPlace::AddressPopup, facts, addressMenu());
    expectPopup(TPlace::HotspotPopup, facts, hotspotMenu());
    expectPopup(TPlace::BytePopup, facts, byteMenu(f.doc(), 0x200));
  }
  EXPECT_EQ(f.doc().path(), fixturePath("dos.exe"));
  EXPECT_EQ(f.frame.windowTitle().toStdString(),
            "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA - [" + fixturePath("dos.exe") + "]");
  ASSERT_EQ(f.host.messages.size(), 1u);
  EXPECT_EQ(f.host.messages[0].caption, "File has been changed!");
  EXPECT_EQ(f.host.fileDialogTitles, (std::vector<std::string>{"Open file to disassemble..."}));
}

TEST(Frame, DynamicItemsPerFixture) {
  struct Case {
    const char* file;
    std::string barTail, resources;
    std::string tls;  // "" when not looked at
    bool tlsEnabled;
    bool pe;  // "Show &programm offsets" enabled and checked, 32-bit code; else 16-bit code
  } cases[] = {
      {"gui.exe", "Show image &properties|Show &imports|&Resources|", "Show &menus|Show &strings|",
       "Callback 1 (:004011E3)|Callback 2 (:004011FD)|Callback 3 (grayed)|Callback 4 (grayed)|"
       "More... (grayed)|",
       true, true},
      {"fixdll.dll", "Show image &properties|Show &exports|Show &imports|", "",
       "Callback 1 (grayed)|Callback 2 (grayed)|Callback 3 (grayed)|Callback 4 (grayed)|"
       "More... (grayed)|",
       false, true},
      {"tiny.exe", "Show image &properties|Show &imports|", "", "", false, true},
      {"dos.exe", "", "", "", false, false},
      {"raw.bin", "", "", "", false, false},
  };
  // One window for all: each load must also take away what the one before added.
  TAppFrame f("");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    f.load(c.file);
    EXPECT_EQ(items(f.frame.menuBar()), kFixedBar + c.barTail);
    EXPECT_EQ(items(f.frame.menu(TPlace::ResourcesMenu)), c.resources);
    if (!c.tls.empty()) {
      EXPECT_EQ(items(f.frame.menu(TPlace::TlsMenu)), c.tls);
    }
    EXPECT_EQ(f.frame.menu(TPlace::TlsMenu)->menuAction()->isEnabled(), c.tlsEnabled);
    EXPECT_EQ(f.frame.action(116)->isEnabled(), c.pe);
    EXPECT_EQ(f.frame.action(116)->isChecked(), c.pe);
    EXPECT_EQ(f.frame.action(111)->isChecked(), c.pe);
    EXPECT_EQ(f.frame.action(112)->isChecked(), !c.pe);
    EXPECT_EQ(f.frame.windowTitle().toStdString(),
              "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA - [" + fixturePath(c.file) + "]");
    EXPECT_EQ(items(f.frame.aboutBar()), "&About|");
  }
  EXPECT_EQ(f.host.messageLines(), std::vector<std::string>{});
}

TEST(Frame, StartupRequest) {
  // A file on the command line, with the switch: loaded, no scan. No file and
  // OpenFileOnStartup 0: an empty window with the short title.
  for (const bool withFile : {true, false}) {
    SCOPED_TRACE(withFile);
    TAppFrame f("");
    f.frame.startupRequest(withFile ? TCommandLine{true, fixturePath("gui.exe")} : TCommandLine{});
    EXPECT_EQ(f.doc().isLoaded(), withFile);
    EXPECT_FALSE(f.doc().workers().scanning());
    EXPECT_TRUE(f.host.fileDialogTitles.empty());
    EXPECT_EQ(f.frame.windowTitle() == kShortTitle, !withFile);
  }
  // The open dialog; a project file (any case of .oxu) loads the project and its file.
  TempDir dir;
  TProjectState project;
  project.path = dir.file("saved.OXU");
  {
    TAppFrame saved;
    saved.doc().names().add(0x401225, "entry_here", REPLACE_ALWAYS);
    ASSERT_EQ(SaveProject(saved.doc(), project), 1);
  }
  RecordingHost host;
  TSettings s;
  TMainWindowSettings w;
  TDDecoratedFrame frame(host, s, w);
  host.fileAnswers = {project.path, fixturePath("dos.exe")};
  frame.startupRequest(TCommandLine{});
  ASSERT_TRUE(frame.document().isLoaded());
  EXPECT_EQ(frame.document().path(), fixturePath("gui.exe"));
  EXPECT_EQ(frame.document().names().lookup(0x401225).value_or(""), "entry_here");
  frame.startupRequest(TCommandLine{true, ""});
  EXPECT_EQ(frame.document().path(), fixturePath("dos.exe"));
  EXPECT_EQ(host.fileDialogTitles,
            std::vector<std::string>(2, "Open file to disassemble or project..."));
}

TEST(Frame, OpeningSizeAndRememberedPlace) {
  // First run: every status field and a full listing row, as far as the screen allows.
  TAppFrame f("");
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(f.frame.width(), screen.width());
  EXPECT_LE(f.frame.height(), screen.height());
  EXPECT_GE(f.frame.width(), std::min(screen.width(), f.frame.status()->fullWidth()));
  EXPECT_GE(f.frame.width(), std::min(screen.width(), 100 * f.frame.listing()->charWidth()));
  f.frame.move(30, 40);
  f.frame.resize(700, 300);
  const QSize kept = f.frame.size();
  f.frame.close();
  // The kept place as written, then as the file may hold it.
  for (const char* left : {static_cast<const char*>(nullptr), "20000", "x"}) {
    SCOPED_TRACE(left ? left : "as written");
    if (left) f.profile.writeString(kWindowSection, "Left", left);
    TDDecoratedFrame frame(f.host, f.settings, f.window, &f.profile);
    EXPECT_EQ(frame.size() == kept, !left);
    if (!left) {
      EXPECT_EQ(frame.pos(), QPoint(30, 40));
    }
  }
}

TEST(Frame, GotoConversionsAndMessages) {
  struct Case {
    const char* file;
    UserAddressKind kind;
    const char* text;
    uint32_t top;         // where the listing starts afterwards
    const char* message;  // "caption: text" of a refusal, or ""
  } cases[] = {
      {"gui.exe", UserAddressKind::FileOffset, "625", 0x625, ""},
      {"gui.exe", UserAddressKind::Rva, "1225", 0x625, ""},
      {"gui.exe", UserAddressKind::Memory, "401225", 0x625, ""},
      {"gui.exe", UserAddressKind::Rva, "80", 0x80, ""},  // header bytes are allowed
      {"gui.exe", UserAddressKind::Rva, "900000", 0,
       "Invalid RVA address!: Sorry, address is not in file!"},
      {"gui.exe", UserAddressKind::Memory, "1000", 0,
       "Invalid memory address!: Sorry, address is not in file!"},
      {"gui.exe", UserAddressKind::FileOffset, "1C00", 0, "Invalid goto address:: 00001C00"},
      // Without a PE header every number is a file offset.
      {"dos.exe", UserAddressKind::Memory, "230", 0x230, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.text);
    TAppFrame f(c.file);
    f.doc().gotoOffset(0, 0);
    f.key(Qt::Key_G);  // G alone is not the frame's key
    EXPECT_EQ(f.frame.gotoDialog(), nullptr);
    f.key(Qt::Key_G, Qt::ControlModifier);
    TGotoDlg* g = f.frame.gotoDialog();
    ASSERT_TRUE(g && g->isVisible());
    f.key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(f.frame.gotoDialog(), g);  // one at a time
    EXPECT_EQ(g->windowTitle(), QStringLiteral("Goto... (hex addresses)"));
    EXPECT_EQ(g->edit()->maxLength(), 28);
    EXPECT_GE(g->width(), titleWidth(*g));  // the whole title shows
    const bool pe = f.doc().image().isPE();
    EXPECT_EQ(g->radio(UserAddressKind::Rva)->isEnabled(), pe);
    EXPECT_EQ(g->radio(UserAddressKind::Memory)->isEnabled(), pe);
    EXPECT_FALSE(QKeySequence::mnemonic(g->radio(c.kind)->text()).isEmpty());  // Alt chooses it
    if (g->radio(c.kind)->isEnabled()) g->radio(c.kind)->click();
    g->edit()->setText(QString::fromLatin1(c.text));
    QTest::mouseClick(g->goButton(), Qt::LeftButton);
    const bool refused = *c.message;
    EXPECT_EQ(f.host.messageLines(),
              refused ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    EXPECT_EQ(f.doc().view().topOffset, c.top);
    ASSERT_EQ(f.doc().history().count(), refused ? 0u : 1u);
    if (refused) continue;
    EXPECT_EQ(f.doc().history().getReturn(0).kind, uint32_t(RK_GOTO));
    EXPECT_EQ(f.doc().history().getReturn(0).address, 0u);
  }
}

TEST(Frame, HistoryGadgetGoesBack) {
  TAppFrame f;
  TRetComboGadget* g = f.frame.gadget();
  EXPECT_EQ(g->size(), QSize(200, 22));
  EXPECT_EQ(g->focusPolicy(), Qt::TabFocus);
  EXPECT_EQ(g->shownText(), QStringLiteral("No returns available"));
  // Nothing happens on an empty history.
  const uint32_t top = f.doc().view().topOffset;
  QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(50, 10));
  EXPECT_EQ(f.doc().view().topOffset, top);

  // A (oldest), B, C, each recorded while leaving the place.
  for (uint32_t at : {0x400u, 0x500u, 0x600u}) {
    f.doc().gotoOffset(at, 0);
    f.doc().history().pushReturn(RK_JUMP);
  }
  f.doc().gotoOffset(0x700, 0);
  EXPECT_TRUE(g->enabledLook());
  EXPECT_EQ(g->shownText(), QStringLiteral("JUMP:\t:00401200"));

  // The text returns to C and leaves A, B.
  QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(50, 10));
  EXPECT_EQ(f.doc().view().topOffset, 0x600u);
  EXPECT_EQ(f.doc().history().count(), 2u);

  // The button drops the list, newest first; the second line (A) returns there.
  f.doc().gotoOffset(0x700, 0);
  QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(190, 10));
  TReturnListBox* list = g->list();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->size(), QSize(198, 100));
  ASSERT_EQ(list->count(), 2);
  EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("00401100")));
  list->setCurrentRow(1);
  const QRect r = list->visualItemRect(list->item(1));
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, r.center());
  EXPECT_EQ(f.doc().view().topOffset, 0x400u);
  EXPECT_EQ(f.doc().history().count(), 0u);
  EXPECT_FALSE(g->enabledLook());

  // One entry: the button does nothing.
  f.doc().history().pushReturn(RK_GOTO, 0x500);
  QTest::mouseClick(g, Qt::LeftButton, {}, QPoint(190, 10));
  EXPECT_TRUE(!g->list() || !g->list()->isVisible());
}

TEST(Frame, TraceKeys) {
  // A PE whose entry point jumps to itself: a continuous trace never ends alone.
  TPeBuilder looping;
  looping.addSection(".text", 0x1000, 0x1000, 0x200);
  looping.putBytes(0x1000, {0x90, 0xEB, 0xFD});  // nop; jmp back to the nop
  TAppFrame f(looping.build());
  const TFixedRegs& regs = f.doc().trace().regs();
  ASSERT_EQ(regs.EIP, 0x401000u);
  // F8 steps once, also from a dump window.
  QPoint at;
  f.frame.listing()->keyboardMenu(at);
  f.frame.listing()->runCommand(CM_DATA_DUMP);
  ASSERT_NE(f.frame.listing()->dumpWindow(), nullptr);
  for (const uint32_t eip : {0x401001u, 0x401000u}) {
    QWidget* typedIn = f.frame.listing()->dumpWindow();
    QTest::keyClick(eip & 1 ? f.frame.listing() : typedIn, Qt::Key_F8);
    EXPECT_EQ(regs.EIP, eip);
  }
  // F5 runs until Escape arrives through the window's own event processing.
  QTimer::singleShot(30, [&] {
    EXPECT_TRUE(f.doc().trace().tracing());
    QTest::keyClick(f.frame.listing(), Qt::Key_F12);  // the picture is for watching the trace
    QTest::keyClick(f.frame.listing(), Qt::Key_Escape);
  });
  f.host.statusTexts.clear();
  f.key(Qt::Key_F5);
  EXPECT_FALSE(f.doc().trace().tracing());
  ASSERT_FALSE(f.host.statusTexts.empty());
  EXPECT_EQ(f.host.statusTexts.front(), "Press <ESC> to abort tracing...");
  EXPECT_EQ(f.host.statusTexts.back(), "");
  EXPECT_TRUE(regs.EIP == 0x401000u || regs.EIP == 0x401001u);
  // Escape without a trace is left to the window that has the focus.
  f.key(Qt::Key_Escape);
  EXPECT_FALSE(f.doc().trace().tracing());

  // Made by F12 during the trace, then hidden and shown again.
  TTraceVisWindow* vis = f.frame.traceVisWindow();
  ASSERT_NE(vis, nullptr);
  EXPECT_TRUE(vis->isVisible());
  EXPECT_EQ(vis->windowTitle(),
            QStringLiteral("Trace visualisation - <TAB> to switch follow mode"));
  EXPECT_EQ(vis->size(), QSize(320, int(f.doc().trace().traceVis()->shownHeight())));
  EXPECT_EQ(vis->scrollBar(), nullptr);
  // The executed bytes show in the picture (row 0, pixels of 0x400..0x402).
  const QImage pic = vis->picture();
  EXPECT_NE(pic.pixel(0x400 % 320, 0x400 / 320), pic.pixel(0x410 % 320, 0x410 / 320));
  const bool follow = f.doc().trace().traceVis()->followMode();
  QTest::keyClick(vis, Qt::Key_Tab);
  EXPECT_NE(f.doc().trace().traceVis()->followMode(), follow);
  for (const bool shown : {false, true}) {
    f.key(Qt::Key_F12);
    EXPECT_EQ(vis->isVisible(), shown);
  }
  // A reset starts a fresh picture: the window goes with the old one.
  f.frame.runCommand(143);
  EXPECT_EQ(f.frame.traceVisWindow(), nullptr);
}

TEST(Frame, EntryTlsTraceAndOpenCommands) {
  TAppFrame f;
  f.doc().gotoOffset(0, 0);
  f.frame.runCommand(121);  // the entry point
  EXPECT_EQ(f.doc().view().topOffset, 0x625u);
  EXPECT_EQ(f.doc().history().count(), 1u);
  f.frame.menu(TPlace::TlsMenu)->actions()[1]->trigger();
  EXPECT_EQ(f.doc().trace().regs().EIP, 0x4011FDu);
  f.frame.runCommand(144);
  EXPECT_EQ(f.doc().trace().regs().EIP, 0x401225u);
  f.frame.runCommand(149);  // "More..."
  // F8 without a trace point.
  f.load("raw.bin");
  f.doc().view().cursorShown = false;
  f.key(Qt::Key_F8);
  // A failed Open ends the run with 2; a cancelled one does nothing.
  f.host.fileAnswers.push_back(std::string("/nonexistent/file.exe"));
  f.frame.runCommand(100);
  f.frame.runCommand(100);
  EXPECT_EQ(f.quits, std::vector<int>{2});
  EXPECT_EQ(f.host.messageLines(),
            (std::vector<std::string>{"Not implemented yet!: To get to the next TLS callback "
                                      "manually\nyou can execute RET instructions...",
                                      ": No trace point given!",
                                      "File error: Couldn't open file:: /nonexistent/file.exe"}));
}

void dropFile(QWidget* target, const std::string& path) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

TEST(Frame, DroppedFilesAndTheCloseQuestion) {
  TAppFrame f("");
  f.doc().settings().noScan = true;
  dropFile(&f.frame, fixturePath("tiny.exe"));
  EXPECT_TRUE(f.doc().isLoaded());
  EXPECT_EQ(f.doc().path(), fixturePath("tiny.exe"));
  // A failed load from a drop only repaints: the run goes on.
  dropFile(&f.frame, "/nonexistent/dropped.exe");
  EXPECT_TRUE(f.quits.empty());
  EXPECT_FALSE(f.doc().isLoaded());

  // A changed file asks before it is given up; Cancel keeps everything.
  f.load("gui.exe");
  const uint8_t b = 0xCC;
  f.doc().ChangeMemory(0x625, &b, 1);
  f.host.messages.clear();
  f.host.answers = {MsgAnswer::Cancel, MsgAnswer::Cancel};
  dropFile(&f.frame, fixturePath("dos.exe"));
  EXPECT_EQ(f.doc().path(), fixturePath("gui.exe"));
  EXPECT_FALSE(f.frame.close());
  EXPECT_TRUE(f.frame.isVisible());
  ASSERT_EQ(f.host.messages.size(), 2u);
  EXPECT_EQ(f.host.messages[1].caption, "File has been changed!");
  EXPECT_EQ(f.host.messages[1].buttons, MsgButtons::YesNoCancel);
  // "No": closes without saving; an open picture of the trace goes with it.
  f.frame.runCommand(151);
  ASSERT_NE(f.frame.traceVisWindow(), nullptr);
  f.host.answers = {MsgAnswer::No};
  f.frame.runCommand(109);
  EXPECT_FALSE(f.frame.isVisible());
  EXPECT_EQ(f.frame.traceVisWindow(), nullptr);
}

}  // namespace
