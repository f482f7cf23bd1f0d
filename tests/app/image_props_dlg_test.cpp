// The "Image properties" window through its controls: what it shows, Apply
// with its undo, Goto section, and files whose headers are hostile.
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include "app/dialogs/image_props_dlg.h"
#include "app_frame.h"
#include "base/command_table.h"
#include "base/le_read.h"
#include "support/pe_builder.h"

namespace {

// gui.exe's section table.
constexpr uint32_t kTable = 0x178;
uint32_t characteristicsAt(TDocument& doc, int section) {
  return readLe32(doc.buffer() + kTable + 40 * section + 36);
}

TImPropDlg* open(TAppFrame& f) {
  f.frame.runCommand(CM_IMAGE_PROPERTIES);
  TImPropDlg* d = f.frame.imagePropsDialog();
  EXPECT_TRUE(d && d->isVisible());
  return d;
}

void choose(TImPropDlg* d, int row) {
  QListView* list = d->sectionList();
  const QRect r = list->visualRect(list->model()->index(row, 0));
  if (r.isValid() && list->viewport()->rect().contains(r.center())) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
  } else {
    list->setFocus();
    list->setCurrentIndex(list->model()->index(row, 0));
  }
}

std::string text(TImPropDlg* d, int control) { return d->field(control)->text().toStdString(); }

TEST(ImagePropsDialog, ShowsTheHeadersAndTheChosenSection) {
  TAppFrame f;
  TImPropDlg* d = open(f);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Image properties"));
  struct Case {
    int row;  // -1: as opened
    std::vector<std::pair<int, const char*>> fields;
    std::vector<int> checked;
  } cases[] = {
      {-1,
       {{250, "7"},
        {251, "1225"},
        {252, "400000"},
        {253, "1000"},
        {254, "200"},
        {255, "10"},
        {257, "458"},
        {258, "1000"},
        {259, "600"},
        {260, "400"}},
       {IPC_FLAG_CODE, IPC_FLAG_EXECUTABLE, IPC_FLAG_READABLE}},
      {6,
       {{257, "8C"}, {258, "7000"}, {259, "200"}, {260, "1A00"}},
       {IPC_FLAG_INIT_DATA, IPC_FLAG_READABLE}},
      {1, {{260, "A00"}}, {IPC_FLAG_INIT_DATA, IPC_FLAG_READABLE, IPC_FLAG_WRITEABLE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    if (c.row >= 0) choose(d, c.row);
    for (const auto& [control, want] : c.fields) EXPECT_EQ(text(d, control), want) << control;
    for (const TImageFlagBox& b : kImageFlagBoxes) {
      const bool want = std::find(c.checked.begin(), c.checked.end(), b.control) != c.checked.end();
      EXPECT_EQ(d->flagBox(b.control)->isChecked(), want) << b.text;
    }
  }
  const char* names[] = {".text", ".data", ".rdata", ".idata", ".tls", ".rsrc", ".reloc"};
  ASSERT_EQ(d->sectionList()->model()->rowCount(), 7);
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(d->sectionList()->model()->index(i, 0).data().toString().toStdString(), names[i]);
}

TEST(ImagePropsDialog, ApplyWritesTheFlagsUndoably) {
  struct Case {
    int row, box;
    uint32_t before, after;
  } cases[] = {
      {6, IPC_FLAG_READABLE, 0x42000040, 0x02000040},
      {0, IPC_FLAG_WRITEABLE, 0x60000020, 0xE0000020},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    TAppFrame f;
    TImPropDlg* d = open(f);
    choose(d, c.row);
    // Nothing changed: nothing written, nothing to undo.
    QTest::mouseClick(d->applyButton(), Qt::LeftButton);
    EXPECT_FALSE(f.doc().undoAvailable());

    d->flagBox(c.box)->click();
    EXPECT_EQ(characteristicsAt(f.doc(), c.row), c.before);  // not before Apply
    QTest::mouseClick(d->applyButton(), Qt::LeftButton);
    EXPECT_EQ(characteristicsAt(f.doc(), c.row), c.after);
    EXPECT_EQ(d->model().rememberedCharacteristics(), c.after);
    EXPECT_EQ(d->sectionList()->currentIndex().row(), c.row);

    // One undo step per byte; the dialog shows each state.
    for (int i = 0; i < 4; ++i) f.frame.runCommand(CM_UNDO);
    EXPECT_EQ(characteristicsAt(f.doc(), c.row), c.before);
    EXPECT_EQ(d->flagBox(c.box)->isChecked(), (c.before & ~c.after) != 0);
    for (int i = 0; i < 4; ++i) f.frame.runCommand(CM_REDO);
    EXPECT_EQ(d->flagBox(c.box)->isChecked(), (c.after & ~c.before) != 0);
  }
}

TEST(ImagePropsDialog, GotoSectionMovesTheListing) {
  struct Case {
    int row;
    uint32_t top;
    bool hexDump;
  } cases[] = {{0, 0x400, false}, {1, 0xA00, true}, {6, 0x1A00, true}};
  TAppFrame f;
  TImPropDlg* d = open(f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    const uint32_t steps = f.doc().history().count();
    choose(d, c.row);
    QTest::mouseClick(d->gotoButton(), Qt::LeftButton);
    EXPECT_EQ(f.doc().view().topOffset, c.top);
    EXPECT_EQ(f.doc().view().hexDump, c.hexDump);
    ASSERT_EQ(f.doc().history().count(), steps + 1);
    EXPECT_EQ(f.doc().history().getReturn(steps).kind, uint32_t(RK_SECTION));
    EXPECT_EQ(f.frame.action(CM_VIEW_HEX)->isChecked(), c.hexDump);
  }
}

TEST(ImagePropsDialog, HostileHeadersAndOtherFiles) {
  TempDir dir;
  // A table cut inside its third header; a table that claims 65535 headers,
  // all of them in the file.
  TPeBuilder cut;
  cut.addSection(".text", 0x1000, 0x100, 0x200);
  cut.addSection(".data", 0x2000, 0x100, 0x200, 0xC0000040);
  cut.addSection(".rsrc", 0x3000, 0x100, 0x200, 0x40000040);
  std::vector<uint8_t> cutBytes = cut.build();
  cutBytes.resize(kTable + 2 * 40 + 20);
  writeFile(dir.file("cut.exe"), cutBytes);
  TPeBuilder many;
  many.addSection(".text", 0x1000, 0x100, 0x200);
  many.numberOfSections = 65535;
  std::vector<uint8_t> manyBytes = many.build();
  manyBytes.resize(kTable + 65535u * 40);
  writeFile(dir.file("many.exe"), manyBytes);

  struct Case {
    const char* file;
    int rows, choose;
    std::vector<const char*> fields;  // 257..260 of the chosen row
  } cases[] = {
      {"cut.exe", 3, 2, {"Invalid", "section", "data !", ""}},
      {"many.exe", 65535, 65534, {"0", "0", "0", "0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TAppFrame f(dir.file(c.file));
    TImPropDlg* d = open(f);
    ASSERT_EQ(d->sectionList()->model()->rowCount(), c.rows);
    if (c.choose == c.rows - 1)
      QTest::keyClick(d->sectionList(), Qt::Key_End);
    else
      choose(d, c.choose);
    EXPECT_EQ(d->model().selection(), c.choose);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(text(d, IPC_VIRTUAL_SIZE + i), c.fields[size_t(i)]);
    // A header outside the file can be neither changed nor visited.
    const bool inFile = std::string(c.fields[0]) != "Invalid";
    EXPECT_EQ(d->applyButton()->isEnabled(), inFile);
    EXPECT_EQ(d->gotoButton()->isEnabled(), inFile);
  }

  // Headers broken by an edit: the title says so and nothing old is left; undo brings them back.
  TAppFrame f;
  TImPropDlg* d = open(f);
  const uint8_t broken[] = {'X', 'X'};
  f.doc().ChangeMemory(0, broken, 2);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Not a portable executable!"));
  EXPECT_EQ(d->sectionList()->model()->rowCount(), 0);
  EXPECT_EQ(text(d, IPC_ENTRY_POINT), "");
  f.frame.runCommand(CM_UNDO);
  f.frame.runCommand(CM_UNDO);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Image properties"));
  EXPECT_EQ(text(d, IPC_ENTRY_POINT), "1225");

  // Any other file loaded closes it: the fields were the old file's.
  ASSERT_TRUE(f.frame.openFile(fixturePath("dos.exe")));
  EXPECT_EQ(f.frame.imagePropsDialog(), nullptr);
}

}  // namespace
