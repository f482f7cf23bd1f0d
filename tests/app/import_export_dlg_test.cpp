// The imports and exports windows over real fixture files: what they list,
// where choosing a line moves the listing, the history entry it leaves, and
// the texts while the scanner has not finished.
#include <QComboBox>
#include <QScrollBar>

#include "app_frame.h"

namespace {

// A module of the drop-down chosen with the keys, as a user without mouse does.
void chooseModule(QComboBox* box, const std::string& name) {
  const int target = box->findText(QString::fromStdString(name));
  ASSERT_GE(target, 0) << name;
  while (box->currentIndex() < target) QTest::keyClick(box, Qt::Key_Down);
  while (box->currentIndex() > target) QTest::keyClick(box, Qt::Key_Up);
}

TEST(ImportsDialog, ReferenceMovesTheListing) {
  TAppFrame f("gui.exe", true);
  TImportsDlg* d = f.open(CM_SHOW_IMPORTS, &TDDecoratedFrame::importsDialog);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Imported functions"));
  ASSERT_EQ(d->modules()->count(), 3);
  EXPECT_EQ(d->modules()->currentText(), QStringLiteral("fixdll.dll"));
  // The file's own order and the dialog's ordinal format while the original structure is kept.
  EXPECT_EQ(texts(d->functions()),
            (std::vector<std::string>{"FixAdd", "OZ: 0003", "FixSub", "FwdTick"}));

  struct Case {
    const char* module;
    const char* function;
    std::vector<std::string> references;
  } cases[] = {
      {"USER32.dll", "MessageBoxA", {" 00000463  -  :00401063", " 0000066D  -  :0040126D"}},
      {"fixdll.dll", "OZ: 0003", {" 0000065D  -  :0040125D", " 00000675  -  :00401275"}},
      {"KERNEL32.dll", "ExitProcess", {" 000007CA  -  :004013CA"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    chooseModule(d->modules(), c.module);
    clickRow(d->functions(), rowOf(d->functions(), c.function));
    ASSERT_EQ(texts(d->references()), c.references);
    f.doc().view().bits16 = true;
    const uint32_t entries = f.doc().history().count();
    clickRow(d->references(), int(c.references.size()) - 1);
    EXPECT_EQ(f.doc().view().topOffset, d->references()->data(int(c.references.size()) - 1));
    EXPECT_EQ(f.doc().history().count(), entries + 1);
    EXPECT_EQ(f.newestKind(), uint32_t(RK_IMPORT));
    EXPECT_FALSE(f.doc().view().bits16);
  }
}

TEST(ImportsDialog, KeepOriginalStructureKeepsTheChoiceAndIsRemembered) {
  TAppFrame f("gui.exe", true);
  TImportsDlg* d = f.open(CM_SHOW_IMPORTS, &TDDecoratedFrame::importsDialog);
  ASSERT_TRUE(d->keepOriginal()->isChecked());
  clickRow(d->functions(), 2);  // FixSub
  QTest::keyClick(d->keepOriginal(), Qt::Key_Space);
  EXPECT_FALSE(d->keepOriginal()->isChecked());
  EXPECT_EQ(texts(d->functions()),
            (std::vector<std::string>{"FixAdd", "FixSub", "FwdTick", "OZ: 0003"}));
  EXPECT_EQ(d->functions()->currentRowIndex(), 1);
  EXPECT_EQ(texts(d->references()),
            (std::vector<std::string>{" 0000072E  -  :0040132E", " 00000840  -  :00401440"}));
  QTest::keyClick(d->functions(), Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_FALSE(f.frame.importsDialog());
  EXPECT_EQ(readKey(f.profile, kKeepOrigImport), 0);
  // The next window opens the way the last one was left.
  d = f.open(CM_SHOW_IMPORTS, &TDDecoratedFrame::importsDialog);
  EXPECT_FALSE(d->keepOriginal()->isChecked());
}

TEST(ListDialogs, FilesWithoutTheDirectory) {
  struct Case {
    const char* fixture;
    int command;
    const char* title;
    const char* message;  // "caption: text", "" for none
  } cases[] = {
      {"dos.exe", CM_SHOW_IMPORTS, "Wrong directory entry!",
       "Unable to show imported functions!: This programm doesn't import any functions!?!"},
      {"gui.exe", CM_SHOW_EXPORTS, "Wrong directory entry!",
       "Unable to show exported functions!: This programm doesn't export any functions!"},
      {"dos.exe", CM_SHOW_EXPORTS, "Not a portable executable!", ""},
      {"dos.exe", CM_SHOW_MENUS, "Show resource menu", ""},
      {"fixdll.dll", CM_SHOW_STRINGS, "Error: Wrong directory entry!",
       "Unable to show menus: This programm doesn't have any resources!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " " + std::to_string(c.command));
    TAppFrame f(c.fixture, true);
    f.host.messages.clear();
    f.frame.runCommand(c.command);
    QDialog* d = c.command == CM_SHOW_IMPORTS   ? static_cast<QDialog*>(f.frame.importsDialog())
                 : c.command == CM_SHOW_EXPORTS ? static_cast<QDialog*>(f.frame.exportsDialog())
                 : c.command == CM_SHOW_MENUS   ? static_cast<QDialog*>(f.frame.menuDialog())
                                                : static_cast<QDialog*>(f.frame.stringDialog());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle().toStdString(), c.title);
    EXPECT_EQ(f.host.messageLines(),
              *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
  }
}

// The address field follows the main view's offsets; the button, Enter and a
// double click go there.
TEST(ExportsDialog, AddressAndGoThere) {
  TAppFrame f("fixdll.dll", true);
  TExportsDlg* d = f.open(CM_SHOW_EXPORTS, &TDDecoratedFrame::exportsDialog);
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Exported functions"));
  TLineList* list = d->exports();
  EXPECT_EQ(texts(list), (std::vector<std::string>{"FixAdd", "FixScale", "FixSub", "FixVersion",
                                                   "FwdTick", "ORD: 0003"}));
  enum How { Button, Enter, DoubleClick };
  struct Case {
    const char* name;
    const char* memory;
    const char* file;
    How how;
  } cases[] = {
      {"FixAdd", ":1000102A", "0000042A", Button},
      {"ORD: 0003", ":10001040", "00000440", Button},
      {"FixSub", ":10001035", "00000435", Button},
      {"FixVersion", ":10002000", "00000600", Enter},
      {"FixScale", ":1000104B", "0000044B", DoubleClick},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clickRow(list, rowOf(list, c.name));
    f.frame.runCommand(CM_FILE_OFFSETS);
    EXPECT_EQ(d->address()->text().toStdString(), c.file);
    f.frame.runCommand(CM_PROGRAM_OFFSETS);
    EXPECT_EQ(d->address()->text().toStdString(), c.memory);
    const uint32_t entries = f.doc().history().count();
    if (c.how == Button) QTest::mouseClick(d->goButton(), Qt::LeftButton);
    if (c.how == Enter) QTest::keyClick(list, Qt::Key_Return);
    if (c.how == DoubleClick)
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                         list->visualRect(list->currentIndex()).center());
    EXPECT_EQ(f.doc().view().topOffset, std::stoul(c.file, nullptr, 16));
    EXPECT_GE(f.doc().history().count(), entries + 1);
    EXPECT_EQ(f.newestKind(), uint32_t(RK_EXPORT));
  }
  // Nothing chosen: told so, and the listing stays.
  list->setCurrentRowQuietly(-1);
  f.host.messages.clear();
  QTest::mouseClick(d->goButton(), Qt::LeftButton);
  EXPECT_EQ(f.host.messageLines(),
            std::vector<std::string>{"No funcion selected!: Please select an item first!"});

  // Made smaller than it may be: the least size, the list above a whole strip.
  d->resize(100, 50);
  QApplication::processEvents();
  EXPECT_GE(d->width(), TExportsDlg::kMinWidth);
  EXPECT_GE(d->height(), TExportsDlg::kMinHeight);
  EXPECT_EQ(d->exports()->geometry(),
            QRect(0, 0, d->width(), d->height() - TExportsDlg::kStripHeight));
  EXPECT_TRUE(d->rect().contains(d->goButton()->geometry()));
  EXPECT_TRUE(d->rect().contains(d->address()->geometry()));
  // A line wider than the list can be scrolled to, wherever it stands.
  list->setLines({{"FixAdd", 0}, {std::string(120, 'x'), 0}, {"Fix", 0}});
  QApplication::processEvents();
  EXPECT_GE(list->horizontalScrollBar()->maximum() + list->viewport()->width(),
            list->fontMetrics().horizontalAdvance(QString(120, 'x')));
}

}  // namespace
