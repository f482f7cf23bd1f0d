// The search window on a loaded file: a typed phrase and its hit, the
// switches kept in the settings file, the phrase kept for the run, and the
// listing's pop-up searches that fill the window.

#include <QAction>

#include "app_frame.h"
#include "image/search_pattern.h"
#include "listing/listing_cells.h"

namespace {

std::vector<uint8_t> searchBytes() {
  std::vector<uint8_t> b(0x400, 0x90);
  const std::pair<uint32_t, std::string> parts[] = {{0, "MZ"},
                                                    {0x100, "hello world"},
                                                    {0x180, "abc"},
                                                    {0x190, "abc"},
                                                    {0x300, "\xA1\x06"},
                                                    {0x3D0, "\xDE\xAD\xBE\xEF"},
                                                    {0x3E0, "\xDE\xAD\xBE\xEF"}};
  for (const auto& [at, bytes] : parts) std::copy(bytes.begin(), bytes.end(), b.begin() + at);
  return b;
}

TSearchDlg* openSearch(TAppFrame& f) {
  QTest::keyClick(f.frame.listing(), Qt::Key_F, Qt::ControlModifier);
  return f.frame.searchDialog();
}

QString shown(const QAbstractButton* b) { return b->text().remove(QLatin1Char('&')); }

TEST(SearchDialog, ControlsSwitchesAndPhraseForTheRun) {
  TAppFrame f(searchBytes(), "[Dialogs]\nSearchType=2\nSearchDir=1\nSearchCase=1\n");
  TSearchDlg* dlg = openSearch(f);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Search..."));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_FALSE(dlg->isModal());
  EXPECT_EQ(dlg->phrase()->maxLength(), 78);
  std::vector<QString> texts;
  for (int t = ST_HEX; t <= ST_UNICODE; ++t) texts.push_back(shown(dlg->typeButton(t)));
  for (QAbstractButton* b :
       std::initializer_list<QAbstractButton*>{dlg->caseSensitive(), dlg->forward(),
                                               dlg->backward(), dlg->searchButton()})
    texts.push_back(shown(b));
  EXPECT_EQ(texts, (std::vector<QString>{"Hex value", "Decimal value", "Byte list", "ASCII String",
                                         "Unicode Str.", "Case sensitive", "Forward", "Backward",
                                         "Search (again)"}));
  EXPECT_TRUE(dlg->searchButton()->isDefault());
  // The stored switches, read as the window opens.
  EXPECT_TRUE(dlg->typeButton(ST_BYTE_LIST)->isChecked());
  EXPECT_TRUE(dlg->backward()->isChecked());
  EXPECT_TRUE(dlg->caseSensitive()->isChecked());
  EXPECT_EQ(openSearch(f), dlg);  // shown again, not made anew

  dlg->typeButton(ST_HEX)->click();
  dlg->forward()->click();
  dlg->caseSensitive()->click();
  QTest::keyClicks(dlg->phrase(), QStringLiteral("6a1"));
  QTest::keyClick(dlg->phrase(), Qt::Key_Return);  // the default button
  // The phrase as it was searched: the short hex made whole.
  EXPECT_EQ(dlg->phrase()->text(), QStringLiteral("06A1"));
  const TSearchState& s = f.frame.listing()->searchState();
  EXPECT_EQ(s.lastFound, 0x300u);
  EXPECT_TRUE(searchHitShown(f.doc(), s, 0x300));
  EXPECT_EQ(f.doc().history().count(), 1u);
  EXPECT_TRUE(f.host.messages.empty());
  EXPECT_TRUE(dlg->isVisible());  // a search never closes the window
  QTest::keyClick(dlg, Qt::Key_Escape);
  TAppFrame::settle();
  EXPECT_EQ(f.frame.searchDialog(), nullptr);
  EXPECT_EQ(f.profile.readInt("Dialogs", "SearchType", -1), ST_HEX);
  EXPECT_EQ(f.profile.readInt("Dialogs", "SearchDir", -1), 0);
  EXPECT_EQ(f.profile.readInt("Dialogs", "SearchCase", -1), 0);

  // Opened again: the phrase of this run and the switches just written.
  dlg = openSearch(f);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(dlg->phrase()->text(), QStringLiteral("06A1"));
  EXPECT_TRUE(dlg->typeButton(ST_HEX)->isChecked());
  EXPECT_TRUE(dlg->forward()->isChecked());
  EXPECT_FALSE(dlg->caseSensitive()->isChecked());
}

// The pop-up's 32-bit value search, opened on the character of byte 0x3E0,
// whether the window is made for it or open with other choices.
TEST(SearchDialog, PopUpSearchesFillTheWindow) {
  for (const bool openBefore : {false, true}) {
    SCOPED_TRACE(openBefore);
    TAppFrame f(searchBytes());
    if (openBefore) {
      TSearchDlg* dlg = openSearch(f);
      dlg->typeButton(ST_ASCII)->click();
      dlg->backward()->click();
    }
    // The byte's row at the top of the hex dump.
    f.frame.runCommand(CM_VIEW_HEX);
    f.doc().gotoOffset(0x3E0, 0);
    TListingView* listing = f.frame.listing();
    listing->documentChanged();
    listing->layoutRows();
    ASSERT_FALSE(listing->contextMenuAt(listing->cellCentre(hexCharColumn(0x3E0), 0)).empty());
    listing->runCommand(CM_SEARCH_VALUE);
    TSearchDlg* dlg = f.frame.searchDialog();
    ASSERT_TRUE(dlg && dlg->isVisible());
    EXPECT_EQ(dlg->phrase()->text(), QStringLiteral("EFBEADDE"));
    EXPECT_TRUE(dlg->typeButton(ST_HEX)->isChecked() && dlg->forward()->isChecked());
    EXPECT_EQ(listing->searchState().lastFound, 0x3D0u);
    // The hit is shown as code, and the frame says so.
    EXPECT_FALSE(f.doc().view().hexDump || f.frame.action(CM_VIEW_HEX)->isChecked());
    EXPECT_TRUE(f.host.messages.empty());
  }
}

}  // namespace
