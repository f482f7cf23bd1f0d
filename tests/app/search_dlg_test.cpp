// The search window on a loaded file: typed phrases and their hits or
// messages, the switches kept in the settings file, the phrase kept for the
// run, and the listing's pop-up searches that fill the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <cstring>

#include "app/dialogs/search_dlg.h"
#include "app/listing/listing_view.h"
#include "app_frame.h"
#include "base/command_table.h"
#include "image/search_pattern.h"
#include "listing/listing_cells.h"

namespace {

std::vector<uint8_t> searchBytes() {
  std::vector<uint8_t> b(0x400, 0x90);
  auto put = [&](uint32_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
  };
  put(0, {'M', 'Z'});
  std::memcpy(b.data() + 0x100, "hello world", 11);
  std::memcpy(b.data() + 0x180, "abc", 3);
  std::memcpy(b.data() + 0x190, "abc", 3);
  put(0x300, {0xA1, 0x06});
  put(0x3D0, {0xDE, 0xAD, 0xBE, 0xEF});
  put(0x3E0, {0xDE, 0xAD, 0xBE, 0xEF});
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
    std::vector<MsgAnswer> answers;  // to the wrap question
    const char* phraseAfter;
    int typeAfter;
    uint32_t hit;                       // SEARCH_NONE: none
    std::vector<std::string> captions;  // of the messages shown
  } cases[] = {
      {"short hex rewritten", "6a1", ST_HEX, false, false, 1, {}, "06A1", ST_HEX, 0x300, {}},
      {"words typed as hex are text",
       "hello world",
       ST_HEX,
       false,
       false,
       1,
       {},
       "hello world",
       ST_ASCII,
       0x100,
       {}},
      {"odd byte list",
       "0102030",
       ST_BYTE_LIST,
       false,
       false,
       1,
       {},
       "0102030",
       ST_BYTE_LIST,
       SEARCH_NONE,
       {"Invalid byte list format"}},
      {"the top itself only after the wrap",
       "mz",
       ST_ASCII,
       false,
       false,
       1,
       {MsgAnswer::Yes},
       "mz",
       ST_ASCII,
       0,
       {"Reached end of file"}},
      {"case sensitive misses",
       "mz",
       ST_ASCII,
       false,
       true,
       1,
       {MsgAnswer::Yes},
       "mz",
       ST_ASCII,
       SEARCH_NONE,
       {"Reached end of file", "Whole file scanned"}},
      {"backward from the top wraps to the end",
       "abc",
       ST_ASCII,
       true,
       false,
       1,
       {MsgAnswer::Yes},
       "abc",
       ST_ASCII,
       0x190,
       {"Reached begining of file"}},
      {"pressed again: the next one",
       "abc",
       ST_ASCII,
       false,
       false,
       2,
       {},
       "abc",
       ST_ASCII,
       0x190,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAppFrame f(searchBytes());
    TSearchDlg* dlg = openSearch(f);
    ASSERT_NE(dlg, nullptr);
    f.host.answers.assign(c.answers.begin(), c.answers.end());
    dlg->typeButton(c.type)->click();
    if (c.caseSensitive) dlg->caseSensitive()->click();
    (c.backward ? dlg->backward() : dlg->forward())->click();
    QTest::keyClicks(dlg->phrase(), QString::fromLatin1(c.phrase));
    for (int i = 0; i < c.presses; ++i)
      QTest::keyClick(dlg->phrase(), Qt::Key_Return);  // the default button

    EXPECT_EQ(dlg->phrase()->text().toStdString(), c.phraseAfter);
    EXPECT_TRUE(dlg->typeButton(c.typeAfter)->isChecked());
    std::vector<std::string> captions;
    for (const RecordedMessage& m : f.host.messages) captions.push_back(m.caption);
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

TEST(SearchDialog, PopUpSearchesFillTheWindow) {
  struct Case {
    const char* name;
    int id;
    uint32_t clicked;  // byte the pop-up menu was opened on
    bool openBefore;   // the window is open with other choices
    const char* phrase;
    uint32_t hit;
  } cases[] = {
      {"32-bit value, window made", CM_SEARCH_VALUE, 0x3E0, false, "EFBEADDE", 0x3D0},
      {"32-bit value, window open", CM_SEARCH_VALUE, 0x3E0, true, "EFBEADDE", 0x3D0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAppFrame f(searchBytes());
    if (c.openBefore) {
      TSearchDlg* dlg = openSearch(f);
      dlg->typeButton(ST_ASCII)->click();
      dlg->backward()->click();
    }
    // The byte's row at the top of the hex dump; the menu opened on its character.
    f.frame.runCommand(CM_VIEW_HEX);
    f.doc().gotoOffset(c.clicked & ~15u, 0);
    TListingView* listing = f.frame.listing();
    listing->documentChanged();
    listing->layoutRows();
    ASSERT_FALSE(listing->contextMenuAt(listing->cellCentre(hexCharColumn(c.clicked), 0)).empty());
    listing->runCommand(c.id);

    TSearchDlg* dlg = f.frame.searchDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->phrase()->text().toStdString(), c.phrase);
    EXPECT_TRUE(dlg->typeButton(ST_HEX)->isChecked());
    EXPECT_TRUE(dlg->forward()->isChecked());
    EXPECT_EQ(listing->searchState().lastFound, c.hit);
    // The hit is shown as code, and the frame says so.
    EXPECT_FALSE(f.doc().view().hexDump);
    EXPECT_FALSE(f.frame.action(CM_VIEW_HEX)->isChecked());
    EXPECT_TRUE(f.host.messages.empty());
  }
}

}  // namespace
