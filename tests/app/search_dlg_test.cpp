// The search window on a loaded file: typed phrases and their hits or
// messages, the switches kept in the settings file, the phrase kept for the
// run, and the listing's pop-up searches that fill the window.

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

TEST(SearchDialog, TypedPhrases) {
  struct Case {
    const char* name;
    const char* phrase;
    int type;
    bool backward, caseSensitive;
    int presses;
    const char* phraseAfter;  // nullptr: as typed
    int typeAfter;
    uint32_t hit;          // SEARCH_NONE: none
    std::string captions;  // of the messages shown, each ended by '|'
  } cases[] = {
      {"short hex rewritten", "6a1", ST_HEX, false, false, 1, "06A1", ST_HEX, 0x300, ""},
      {"words typed as hex are text", "hello world", ST_HEX, false, false, 1, nullptr, ST_ASCII,
       0x100, ""},
      {"odd byte list", "0102030", ST_BYTE_LIST, false, false, 1, nullptr, ST_BYTE_LIST,
       SEARCH_NONE, "Invalid byte list format|"},
      {"the top itself only after the wrap", "mz", ST_ASCII, false, false, 1, nullptr, ST_ASCII, 0,
       "Reached end of file|"},
      {"case sensitive misses", "mz", ST_ASCII, false, true, 1, nullptr, ST_ASCII, SEARCH_NONE,
       "Reached end of file|Whole file scanned|"},
      {"backward from the top wraps to the end", "abc", ST_ASCII, true, false, 1, nullptr, ST_ASCII,
       0x190, "Reached begining of file|"},
      {"pressed again: the next one", "abc", ST_ASCII, false, false, 2, nullptr, ST_ASCII, 0x190,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAppFrame f(searchBytes());
    TSearchDlg* dlg = openSearch(f);
    ASSERT_NE(dlg, nullptr);
    f.host.answers = {MsgAnswer::Yes};  // to the question whether to go on past the end
    dlg->typeButton(c.type)->click();
    if (c.caseSensitive) dlg->caseSensitive()->click();
    (c.backward ? dlg->backward() : dlg->forward())->click();
    QTest::keyClicks(dlg->phrase(), QString::fromLatin1(c.phrase));
    for (int i = 0; i < c.presses; ++i)
      QTest::keyClick(dlg->phrase(), Qt::Key_Return);  // the default button

    EXPECT_EQ(dlg->phrase()->text().toStdString(), c.phraseAfter ? c.phraseAfter : c.phrase);
    EXPECT_TRUE(dlg->typeButton(c.typeAfter)->isChecked());
    std::string captions;
    for (const RecordedMessage& m : f.host.messages) captions += m.caption + "|";
    EXPECT_EQ(captions, c.captions);
    const TSearchState& s = f.frame.listing()->searchState();
    EXPECT_EQ(s.lastFound, c.hit);
    EXPECT_EQ(f.doc().history().count(), c.hit == SEARCH_NONE ? 0u : uint32_t(c.presses));
    if (c.hit != SEARCH_NONE) {
      EXPECT_TRUE(searchHitShown(f.doc(), s, c.hit));
    }
    EXPECT_TRUE(dlg->isVisible());  // a search never closes the window
  }
}

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

  dlg->typeButton(ST_UNICODE)->click();
  dlg->forward()->click();
  dlg->caseSensitive()->click();
  QTest::keyClicks(dlg->phrase(), QStringLiteral("AB"));
  QTest::keyClick(dlg->phrase(), Qt::Key_Return);
  QTest::keyClick(dlg, Qt::Key_Escape);
  TAppFrame::settle();
  EXPECT_EQ(f.frame.searchDialog(), nullptr);
  EXPECT_EQ(f.profile.readInt("Dialogs", "SearchType", -1), ST_UNICODE);
  EXPECT_EQ(f.profile.readInt("Dialogs", "SearchDir", -1), 0);
  EXPECT_EQ(f.profile.readInt("Dialogs", "SearchCase", -1), 0);

  // Opened again: the phrase of this run and the switches just written.
  dlg = openSearch(f);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(dlg->phrase()->text(), QStringLiteral("AB"));
  EXPECT_TRUE(dlg->typeButton(ST_UNICODE)->isChecked());
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
