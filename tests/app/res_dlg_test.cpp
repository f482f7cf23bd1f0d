// The resource menu and string windows over the fixture program: the MENU
// text, the references of a clicked line, the string filters, the search run
// by Enter, where choosing a reference moves the listing, and the windows
// closed by a load.
#include <QPointer>
#include <functional>

#include "app_frame.h"

namespace {

TEST(StringDialog, FiltersAndReferences) {
  TAppFrame f("gui.exe", true);
  TShowResStringDlg* d = f.open(CM_SHOW_STRINGS, &TDDecoratedFrame::stringDialog);
  ASSERT_EQ(d->strings()->count(), 10);
  EXPECT_EQ(d->strings()->text(0), QStringLiteral("ID 0x0001 (00001): Fixture Window"));
  EXPECT_EQ(d->strings()->currentRowIndex(), 0);

  struct Case {
    const char* id;  // the line's prefix
    bool noArithmetic, noBitwise;
    std::vector<std::string> references;
  } cases[] = {
      {"ID 0x03E8", false, false, {" 000007F1  -  :004013F1"}},  // add eax,0x3e8
      {"ID 0x03E8", true, false, {}},
      {"ID 0x4001", false, false, {" 00000532  -  :00401132", " 0000080B  -  :0040140B"}},
      {"ID 0x4001", false, true, {" 00000532  -  :00401132"}},  // and eax,0x4001 left out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + (c.noArithmetic ? " no-arith" : "") +
                 (c.noBitwise ? " no-bitwise" : ""));
    clickRow(d->strings(), rowOf(d->strings(), c.id));
    if (d->noArithmetic()->isChecked() != c.noArithmetic)
      QTest::mouseClick(d->noArithmetic(), Qt::LeftButton);
    if (d->noBitwise()->isChecked() != c.noBitwise)
      QTest::mouseClick(d->noBitwise(), Qt::LeftButton);
    EXPECT_EQ(texts(d->references()), c.references);
  }
  const int last = d->references()->count() - 1;
  clickRow(d->references(), last);
  EXPECT_EQ(f.doc().view().topOffset, d->references()->data(last));
  EXPECT_EQ(f.newestKind(), uint32_t(RK_STRING));

  // Only strings that the code uses: "Word wrap is off" (41) has none.
  QTest::mouseClick(d->onlyReferenced(), Qt::LeftButton);
  const std::vector<std::string> shown = texts(d->strings());
  EXPECT_LT(shown.size(), 10u);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "ID 0x0029 (00041): Word wrap is off"), 0);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "ID 0x4001 (16385): Last string of the table"),
            1);
}

// While the scanner fills a store its windows say so and choosing the notice
// does nothing; the scanner's notice from its own thread relists them.
TEST(ListDialogs, ReferencesWaitForTheirStore) {
  struct Case {
    TRefStoreKind kind;
    std::function<TLineList*(TAppFrame&)> choose;  // opens the window, chooses a line
    const char* waiting;
    const char* filled;  // the first reference afterwards
  } cases[] = {
      {TRefStoreKind::Import,
       [](TAppFrame& f) {
         TImportsDlg* d = f.open(CM_SHOW_IMPORTS, &TDDecoratedFrame::importsDialog);
         clickRow(d->functions(), 2);
         return d->references();
       },
       "Import scanning not completed yet!", " 0000072E  -  :0040132E"},
      {TRefStoreKind::Menu,
       [](TAppFrame& f) {
         TShowResMenuDlg* d = f.open(CM_SHOW_MENUS, &TDDecoratedFrame::menuDialog);
         EXPECT_EQ(texts(d->menus()), (std::vector<std::string>{"\"CONTEXT\"", "101"}));
         clickRow(d->menus(), 1);
         EXPECT_TRUE(d->menuText()->toPlainText().startsWith(
             QStringLiteral("101 MENU\n{\n POPUP \"&File\"\n {\n  MENUITEM \"&New\", 200")));
         clickLine(d->menuText(), 4);  // &New
         QTest::keyClick(d->menuText(), Qt::Key_Return);
         EXPECT_TRUE(d->isVisible());  // Enter never closes the window
         return d->references();
       },
       "Still scanning...", " 000007E5  -  :004013E5"},
      {TRefStoreKind::String,
       [](TAppFrame& f) {
         TShowResStringDlg* d = f.open(CM_SHOW_STRINGS, &TDDecoratedFrame::stringDialog);
         // The filter needs finished references: every string stays.
         QTest::mouseClick(d->onlyReferenced(), Qt::LeftButton);
         EXPECT_EQ(d->strings()->count(), 10);
         return d->references();
       },
       "Still scanning for string references...", " 0000042B  -  :0040102B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.waiting);
    TAppFrame f("gui.exe", true);
    f.doc().stores().locks.lock(c.kind);
    TLineList* references = c.choose(f);
    EXPECT_EQ(texts(references), std::vector<std::string>{c.waiting});
    clickRow(references, 0);
    EXPECT_EQ(f.doc().history().count(), 0u);
    f.doc().stores().locks.unlock(c.kind);
    f.doc().observers().storeFilled(c.kind);
    QApplication::processEvents();
    ASSERT_GE(references->count(), 1);
    EXPECT_EQ(references->text(0).toStdString(), c.filled);
    clickRow(references, 0);
    EXPECT_EQ(f.doc().history().count(), 1u);
    // Another file closes the window: its lines were the old file's.
    const QPointer<QWidget> window = references->window();
    ASSERT_TRUE(f.frame.openFile(fixturePath("dos.exe")));
    EXPECT_FALSE(window);
  }
}

TEST(StringDialog, EnterSearchesAndNeverCloses) {
  TAppFrame f("gui.exe", true);
  TShowResStringDlg* d = f.open(CM_SHOW_STRINGS, &TDDecoratedFrame::stringDialog);
  struct Step {
    const char* typed;
    int selected;  // row after Enter
    bool notFound;
  } steps[] = {
      {"WORD wrap", 3, false},  // case ignored
      {"WORD wrap", 4, false},  // again: behind the string just found
      {"WORD wrap", 3, false},  // wrapped round
      {"0x00", 3, true},        // the ID prefix is not searched
      {"", 3, false},           // nothing to look for
      {"table", 9, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.typed);
    d->searchField()->setText(QString::fromLatin1(s.typed));
    f.host.messages.clear();
    QTest::keyClick(d->searchField(), Qt::Key_Return);
    EXPECT_TRUE(f.frame.stringDialog() && d->isVisible());
    EXPECT_EQ(d->strings()->currentRowIndex(), s.selected);
    EXPECT_EQ(d->searchField()->text().toStdString(), s.typed);
    EXPECT_EQ(f.host.messageLines(),
              s.notFound ? std::vector<std::string>{"Show resource strings: Not found"}
                         : std::vector<std::string>{});
  }
  // The found string's references are listed.
  EXPECT_EQ(texts(d->references()),
            (std::vector<std::string>{" 00000532  -  :00401132", " 0000080B  -  :0040140B"}));
  // The search field keeps the keys; the list's moving keys move the strings.
  QTest::keyClick(d->searchField(), Qt::Key_Up);
  EXPECT_EQ(d->strings()->currentRowIndex(), 8);
  EXPECT_EQ(texts(d->references()), std::vector<std::string>{" 000007FD  -  :004013FD"});
}

}  // namespace
