// The preferences window opened by its command on a loaded file: the values
// it opens with, the refused numbers, what OK writes and changes in the
// listing, the colour chooser, Cancel, and the desktop-entry step.

#include <QTimer>
#include <functional>

#include "app/dialogs/pref_dlg.h"
#include "app_frame.h"
#include "persist/shortcut.h"

namespace {

const std::vector<uint8_t> kBytes(0x400, 0x90);

// Runs the preferences command; `act` works the window as a user would and
// returns with it still open or closed. True when the window closed itself.
bool withPreferences(TAppFrame& f, const std::function<void(TPrefDlg&)>& act) {
  bool closedByItself = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<TPrefDlg*>(QApplication::activeModalWidget());
    if (!dlg) {
      ADD_FAILURE() << "no preferences window";
      return;
    }
    act(*dlg);
    closedByItself = !dlg->isVisible();
    if (!closedByItself) dlg->reject();
  });
  f.frame.runCommand(CM_PREFERENCES);
  return closedByItself;
}

void setField(QLineEdit* edit, const char* text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, QString::fromLatin1(text));
}

TEST(PreferencesDialog, NumbersRefusedOrAccepted) {
  struct Case {
    const char* minLength;
    const char* font;
    const char* rows;
    const char* refusal;  // "" when accepted
  } cases[] = {
      {"1", "15", "6",
       "The minimum of characters that will be needed\nto be noticed as strings has to be greater than 1!"},
      {"4", "19", "6", "The font size (height) has to be between 6 and 18 pixel!"},
      {"4", "18", "31", "The number of dump window rows has to be between 3 and 30 rows!"},
      {"2", "8", "30", ""},
      {"4", "11", "6", ""},  // a face whose advance is fractional at this height
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.minLength << "/" << c.font << "/" << c.rows);
    TAppFrame f(kBytes);
    const int lineHeight = f.frame.listing()->lineHeight();
    const bool closed = withPreferences(f, [&](TPrefDlg& d) {
      setField(d.minStringLength(), c.minLength);
      setField(d.fontSize(), c.font);
      setField(d.dumpRows(), c.rows);
      d.switchBox(TPrefDlg::ShowCodeReferences)->click();
      QTest::keyClick(d.dumpRows(), Qt::Key_Return);  // OK is the default button
    });
    const bool accepted = *c.refusal == '\0';
    EXPECT_EQ(closed, accepted);
    if (!accepted) {
      EXPECT_EQ(f.host.messageLines(),
                std::vector<std::string>{std::string("Invalid value: ") + c.refusal});
      // Left with Cancel after the refusal: nothing written, nothing changed.
      EXPECT_EQ(f.iniText(), "");
      EXPECT_EQ(f.frame.listing()->lineHeight(), lineHeight);
      EXPECT_TRUE(f.doc().view().showCodeReferences);
      continue;
    }
    EXPECT_TRUE(f.host.messages.empty());
    EXPECT_EQ(f.profile.readInt("General", "Min_string_length", 0), atoi(c.minLength));
    EXPECT_EQ(f.profile.readInt("General", "Font_size", 0), atoi(c.font));
    EXPECT_EQ(f.profile.readInt("General", "Dump_rows", 0), atoi(c.rows));
    EXPECT_EQ(f.doc().settings().minStringLength, uint32_t(atoi(c.minLength)));
    // The listing font was made anew for the new height.
    EXPECT_NE(f.frame.listing()->lineHeight(), lineHeight);
    // and its text keeps to the cells that colours and references are placed in.
    EXPECT_EQ(
        QFontMetrics(f.frame.listing()->viewport()->font()).horizontalAdvance(QString(80, 'C')),
        80 * f.frame.listing()->charWidth());
  }
}

TEST(PreferencesDialog, OpensWithValuesAndAppliesSwitchesAndColours) {
  TAppFrame f("gui.exe", false,
              "[General]\nOpenFileOnStartup=0\nKeepUndoAfterSave=0\nShowCodeReferences=1\n"
              "ScanMode=0\nMin_string_length=7\n[FixedRegs]\nAuto_mode=1\n");
  f.host.colorAnswers = {0x123456, std::nullopt};
  f.host.answers = {MsgAnswer::Yes};  // to the desktop entry's question
  const std::string apps = f.dir.file("applications");
  withPreferences(f, [&](TPrefDlg& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Preferences"));
    EXPECT_EQ(d.minStringLength()->text(), QStringLiteral("7"));
    EXPECT_EQ(d.fontSize()->text(), QStringLiteral("15"));
    EXPECT_EQ(d.dumpRows()->text(), QStringLiteral("6"));
    std::vector<bool> opened;
    for (int s = 0; s < TPrefDlg::SwitchCount; ++s)
      opened.push_back(d.switchBox(TPrefDlg::Switch(s))->isChecked());
    EXPECT_EQ(opened, (std::vector<bool>{false, false, true, false, true, true, true, false}));
    EXPECT_EQ(d.swatch(5)->color(), 0xFFFFFFu);

    d.switchBox(TPrefDlg::ShowCodeReferences)->click();
    d.switchBox(TPrefDlg::ExtremeScan)->click();
    d.switchBox(TPrefDlg::KeepUndoAfterSave)->click();
    QTest::mouseClick(d.swatch(5), Qt::LeftButton);  // Background: a colour chosen
    QTest::mouseClick(d.swatch(0), Qt::LeftButton);  // Memory: the chooser cancelled
    EXPECT_EQ(d.swatch(5)->color(), 0x123456u);
    EXPECT_EQ(d.swatch(0)->color(), 0xFF0000u);
    d.exePath = "/opt/oxu/oxu-dasm";
    d.applicationsDir = apps;
    QTest::keyClick(d.shortcutButton(), Qt::Key_Space);
    EXPECT_TRUE(d.isVisible());  // the desktop entry step keeps the window open
    d.okButton()->click();
  });
  ASSERT_EQ(f.host.messages.size(), 1u);
  EXPECT_EQ(f.host.messages[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(readFile(apps + "/" + kShortcutFileName).size(),
            desktopEntryText("/opt/oxu/oxu-dasm").size());
  f.doc().workers().waitReferenceScan();
  EXPECT_EQ(f.profile.readInt("Colors", "Background", 0), 0x123456);
  EXPECT_EQ(f.profile.readInt("Colors", "Memory_ref", 0), 0xFF0000);
  EXPECT_EQ(f.profile.readInt("General", "ScanMode", -1), 1);
  EXPECT_EQ(f.profile.readInt("General", "ShowCodeReferences", -1), 0);
  EXPECT_EQ(f.profile.readInt("FixedRegs", "AutoMode", -1), 1);
  EXPECT_FALSE(f.doc().view().showCodeReferences);
  EXPECT_TRUE(f.doc().settings().extremeScan);
  EXPECT_TRUE(f.doc().settings().keepUndoAfterSave);
  // The switch to the extreme scan started the scan again.
  EXPECT_FALSE(f.host.statusTexts.empty());
  // The background is painted in the new colour.
  const QImage shot = f.frame.listing()->viewport()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(shot.width() - 2, shot.height() - 2), QColor(0x56, 0x34, 0x12));
}

}  // namespace
