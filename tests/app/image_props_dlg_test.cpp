// The "Image properties" window through its controls: what it shows, Apply
// with its undo, Goto section, and files whose headers are hostile.
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include "app_frame.h"
#include "base/le_read.h"
#include "support/pe_builder.h"

namespace {

// gui.exe's section table.
constexpr uint32_t kTable = 0x178;
uint32_t characteristicsAt(TDocument& doc, int section) {
  return readLe32(doc.buffer() + kTable + 40 * section + 36);
}

TImPropDlg* open(TAppFrame& f) {
  return f.open(CM_IMAGE_PROPERTIES, &TDDecoratedFrame::imagePropsDialog);
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

// The texts of the fields first..last, each ended by '|'.
std::string fields(TImPropDlg* d, int first, int last) {
  std::string out;
  for (int control = first; control <= last; ++control) out += text(d, control) + "|";
  return out;
}

TEST(ImagePropsDialog, ShowsTheHeadersAndTheChosenSection) {
  TAppFrame f;
  TImPropDlg* d = open(f);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Image properties"));
  EXPECT_EQ(fields(d, IPC_NUM_SECTIONS, IPC_DIR_ENTRIES), "7|1225|400000|1000|200|10|");
  struct Case {
    int row;              // -1: as opened
    const char* section;  // its fields: virtual size and address, raw size and offset
    uint32_t raw;         // where Goto section moves the listing
    std::vector<int> checked;
  } cases[] = {
      {-1, "458|1000|600|400|", 0x400, {IPC_FLAG_CODE, IPC_FLAG_EXECUTABLE, IPC_FLAG_READABLE}},
      {6, "8C|7000|200|1A00|", 0x1A00, {IPC_FLAG_INIT_DATA, IPC_FLAG_READABLE}},
      {1, "18|2000|200|A00|", 0xA00, {IPC_FLAG_INIT_DATA, IPC_FLAG_READABLE, IPC_FLAG_WRITEABLE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    if (c.row >= 0) choose(d, c.row);
    EXPECT_EQ(fields(d, IPC_VIRTUAL_SIZE, IPC_RAW_OFFSET), c.section);
    for (const TImageFlagBox& b : kImageFlagBoxes) {
      const bool want = std::find(c.checked.begin(), c.checked.end(), b.control) != c.checked.end();
      EXPECT_EQ(d->flagBox(b.control)->isChecked(), want) << b.text;
    }
    // Goto section: in the hex dump unless the section is code.
    const uint32_t steps = f.doc().history().count();
    QTest::mouseClick(d->gotoButton(), Qt::LeftButton);
    const bool hexDump = c.checked[0] != IPC_FLAG_CODE;
    EXPECT_EQ(f.doc().view().topOffset, c.raw);
    EXPECT_EQ(f.doc().view().hexDump, hexDump);
    ASSERT_EQ(f.doc().history().count(), steps + 1);
    EXPECT_EQ(f.doc().history().getReturn(steps).kind, uint32_t(RK_SECTION));
    EXPECT_EQ(f.frame.action(CM_VIEW_HEX)->isChecked(), hexDump);
  }
  std::string names;
  for (int i = 0; i < d->sectionList()->model()->rowCount(); ++i)
    names += d->sectionList()->model()->index(i, 0).data().toString().toStdString() + "|";
  EXPECT_EQ(names, ".text|.data|.rdata|.idata|.tls|.rsrc|.reloc|");
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
    const char* fields;  // of the chosen row
  } cases[] = {
      {"cut.exe", 3, 2, "Invalid|section|data !||"},
      {"many.exe", 65535, 65534, "0|0|0|0|"},
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
    EXPECT_EQ(fields(d, IPC_VIRTUAL_SIZE, IPC_RAW_OFFSET), c.fields);
    // A header outside the file can be neither changed nor visited.
    const bool inFile = c.fields[0] != 'I';
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
