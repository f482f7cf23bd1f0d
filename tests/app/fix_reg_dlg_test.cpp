// The "Set fixed register values..." window through its controls: F11, typed
// values, the fixed marks, the flags, the stack window, following the tracer
// and the listing's substituted registers.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app_frame.h"
#include "base/text_format.h"
#include "listing/listing_lines.h"

namespace {

// The register (x86 number) of each edit box from 1045 on, then the segments'.
constexpr int kEditRegister[] = {0, 3, 1, 2, 7, 6, 4, 5};
constexpr int kEditSegment[] = {1, 3, 0, 2, 4, 5};

TFixRegDlg* openByKey(TAppFrame& f) {
  f.key(Qt::Key_F11);
  TFixRegDlg* d = f.frame.fixRegDialog();
  EXPECT_TRUE(d && d->isVisible());
  return d;
}

void expectShowsState(TAppFrame& f, TFixRegDlg* d) {
  const TFixedRegs& r = f.doc().trace().regs();
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(d->edit(1045 + i)->text().toStdString(), wsString("%.8X", r.reg[kEditRegister[i]]));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(d->edit(1053 + i)->text().toStdString(), wsString("%.4X", r.sreg[kEditSegment[i]]));
  EXPECT_EQ(d->model().stackLine(0),
            wsString("%.8X:  %.8X", r.ESP, r.readStack(r.ESP - r.stackBase)));
}

void type(QLineEdit* e, const std::string& text, bool enter = true) {
  e->selectAll();
  QTest::keyClicks(e, QString::fromStdString(text));
  if (enter) QTest::keyClick(e, Qt::Key_Return);
}

TEST(FixRegDialog, F11AndTheProjectShowIt) {
  TAppFrame f;
  TFixRegDlg* d = openByKey(f);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Set fixed register values..."));
  expectShowsState(f, d);
  // F11 in the dialog itself hides it; the menu item shows it again; the
  // project's command only ever shows it.
  QTest::keyClick(d->edit(1045), Qt::Key_F11);
  EXPECT_FALSE(d->isVisible());
  f.frame.action(CM_FIXED_REGS)->trigger();
  EXPECT_TRUE(d->isVisible());
  f.frame.runCommand(CM_FIXED_REGS_FROM_PROJECT);
  EXPECT_TRUE(d->isVisible());

  // A project whose tracer record has a fixed mark shows it at load.
  TempDir dir;
  for (const uint8_t fixed32 : {uint8_t(0x01), uint8_t(0)}) {
    SCOPED_TRACE(int(fixed32));
    f.doc().trace().regs().fixed32 = fixed32;
    TProjectState state;
    state.path = dir.file("marks.oxu");
    ASSERT_EQ(SaveProject(f.doc(), state), 1);
    TAppFrame loaded;
    loaded.host.fileAnswers.push_back(state.path);
    loaded.frame.runCommand(CM_FILE_LOAD_PROJECT);
    QApplication::processEvents();
    TFixRegDlg* shown = loaded.frame.fixRegDialog();
    EXPECT_EQ(shown && shown->isVisible(), fixed32 != 0);
    if (shown) {
      EXPECT_TRUE(shown->button(1001)->isChecked());
    }
  }
}

TEST(FixRegDialog, TypedValuesGoToTheRegistersAndTheListing) {
  struct Case {
    int edit;
    const char* typed;
    const char* shown;  // after Enter
  } cases[] = {
      {1045, "12345", "00012345"},      // EAX
      {1046, "1g2x3", "00000123"},      // EBX: only hex digits can be typed
      {1048, "FFFFFFFF9", "FFFFFFFF"},  // EDX: eight digits at most
      {1053, "1234", "1234"},           // CS
      {1058, "abcde", "ABCD"},          // GS: four digits at most
  };
  TAppFrame f;
  TFixRegDlg* d = openByKey(f);
  TFixedRegs& r = f.doc().trace().regs();
  for (const Case& c : cases) {
    type(d->edit(c.edit), c.typed);
    EXPECT_EQ(d->edit(c.edit)->text().toStdString(), c.shown) << c.typed;
    expectShowsState(f, d);  // the registers hold what the boxes show
  }
  // ESP moves the stack window to it.
  type(d->edit(1051), wsString("%X", r.stackBase + 0x100));
  EXPECT_EQ(d->model().stackLine(0).substr(0, 8), wsString("%.8X", r.stackBase + 0x100));
  EXPECT_TRUE(d->model().stackLineIsEsp(0));

  // "mov ebp,esp" at 0x626 shows ESP's value once ESP is fixed.
  auto line = [&] {
    const TListingContext ctx = f.doc().listingContext();
    const uint8_t* cursor = f.doc().buffer() + 0x626;
    char text[512];
    uint8_t state = 0;
    Disassembly(cursor, ctx.lines, 0, false, text, sizeof text, false, false, state);
    return std::string(text);
  };
  EXPECT_NE(line().find("esp"), std::string::npos) << line();
  QTest::mouseClick(d->button(1017), Qt::LeftButton);
  EXPECT_NE(line().find(wsString("%.8X", r.ESP)), std::string::npos) << line();

  // Closing applies what was typed and not yet entered.
  type(d->edit(1047), "77", false);
  d->close();
  EXPECT_EQ(r.ECX, 0x77u);
  EXPECT_FALSE(d->isVisible());
}

TEST(FixRegDialog, FlagBoxesStackKeysAndTheTracer) {
  TAppFrame f;
  TFixRegDlg* d = openByKey(f);
  TFixedRegs& r = f.doc().trace().regs();
  for (int bit : {11, 10, 7, 6, 4, 2, 0}) {
    const uint32_t before = r.EFLAGS;
    QTest::mouseClick(d->flagBox(FRC_FLAG_BASE + bit), Qt::LeftButton);
    EXPECT_EQ(r.EFLAGS, before ^ (1u << bit)) << bit;
    EXPECT_EQ(d->flagBox(FRC_FLAG_BASE + bit)->isChecked(), (r.EFLAGS >> bit & 1) != 0);
  }

  TStackListBox* stack = d->stackList();
  const struct {
    int key;
    int64_t moved;  // bytes; INT64_MIN: to the top, INT64_MAX: to the end
    int thumb;
  } keys[] = {
      {Qt::Key_Up, -4, 1},          {Qt::Key_Down, 4, 1},      {Qt::Key_PageUp, -12, 1},
      {Qt::Key_Home, INT64_MIN, 0}, {Qt::Key_PageDown, 12, 1}, {Qt::Key_End, INT64_MAX, 2},
  };
  for (const auto& k : keys) {
    const int64_t before = d->model().stackFirst();
    QTest::keyClick(stack, Qt::Key(k.key));
    const int64_t want = k.moved == INT64_MIN ? 0 : k.moved == INT64_MAX ? 16368 : before + k.moved;
    EXPECT_EQ(d->model().stackFirst(), want) << k.key;
    EXPECT_EQ(stack->scrollBar()->value(), k.thumb) << k.key;
  }

  // The tracer's steps: a value typed and not entered survives the steps that refresh the rest.
  type(d->edit(1049), "5", false);
  for (int step = 0; step < 3; ++step) {
    const uint32_t eip = r.EIP;
    f.key(Qt::Key_F8);
    ASSERT_NE(r.EIP, eip);
    EXPECT_EQ(d->edit(1051)->text().toStdString(), wsString("%.8X", r.ESP));
    EXPECT_TRUE(d->model().stackLineIsEsp(0));
    EXPECT_EQ(d->edit(1049)->text(), QStringLiteral("5"));
  }
  QTest::keyClick(d->edit(1049), Qt::Key_Return);
  EXPECT_EQ(r.EDI, 5u);

  // A continuous trace: the window shows where it stopped.
  QTimer::singleShot(200, [&] { f.doc().trace().abortTrace(); });
  f.key(Qt::Key_F5);
  expectShowsState(f, d);
  // Hidden, it is not refreshed until shown again.
  f.key(Qt::Key_F11);
  f.frame.runCommand(CM_RESET_TRACER);
  f.key(Qt::Key_F11);
  expectShowsState(f, d);
}

}  // namespace
