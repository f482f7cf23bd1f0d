// Start-up settings, the version stamp, the preferences dialog's model, the
// settings path rule and the desktop entry.
#include <sys/stat.h>

#include "persist/settings.h"
#include "persist/settings_path.h"
#include "persist/shortcut.h"
#include "persist_test_support.h"
#include "support/recording_host.h"

namespace {

using V = std::vector<uint32_t>;
using Lines = std::vector<std::string>;
const std::string kFirstRun =
    "Welcome to OXU-Dasm ;D: Thank you for having downloaded OXU-Dasm ;D\n\nPlease visit "
    "https://oxu-dasm.example.org/\nand leave a message in our guest book, we would be glad to "
    "hear from you!\n\nThanks ;D";
const std::string kUpdate =
    "Welcome to a new version of OXU-Dasm ;D: Thank you for having updated OXU-Dasm ;D\n\nPlease "
    "visit https://oxu-dasm.example.org/\nand leave a message in our guest book, we would be glad "
    "to hear from you!\n\nThanks ;D";
const std::string kMinLengthRefused =
    "Invalid value: The minimum of characters that will be needed\nto be noticed as strings has to "
    "be greater than 1!";
const std::string kFontRefused =
    "Invalid value: The font size (height) has to be between 6 and 18 pixel!";
const std::string kRowsRefused =
    "Invalid value: The number of dump window rows has to be between 3 and 30 rows!";

TEST(VersionStamp, GreetsOnceAndStamps) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file
    std::vector<std::string> firstStart;
  } cases[] = {
      {"no file", nullptr, {kFirstRun}},
      {"no stamp", "[General]\nFont_size=9\n", {kFirstRun}},
      {"stamp 0", "[General]\nVersion=0\n", {kFirstRun}},
      {"just older", "[general]\nversion=2349\n", {kUpdate}},
      {"not a number", "[General]\nVersion=v2\n", {kFirstRun}},
      {"current", "[General]\nVersion=2350\n", {}},
      {"newer", "[General]\nVersion=2400\n", {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    TProfileFile profile(dir.file("OXU-DASM.INI"));
    if (c.file) writeWhole(profile.path(), c.file);
    RecordingHost host;
    loadSettings(profile, host);
    EXPECT_EQ(host.messageLines(), c.firstStart) << c.name;
    EXPECT_EQ(profile.readInt("General", "Version", 0), 2350) << c.name;
    RecordingHost again;
    loadSettings(profile, again);
    EXPECT_TRUE(again.messages.empty()) << c.name;
    if (!c.file) {
      EXPECT_EQ(readWhole(profile.path()), "[General]\nVersion=2350\n");
    }
  }
}

TEST(Settings, DefaultsAndStoredValues) {
  const TSettings d = readSettings(TProfileFile("/nonexistent/OXU-DASM.INI"));
  EXPECT_EQ((V{d.memoryRef, d.callRef, d.jumpRef, d.importRef, d.textRef, d.background, d.text,
               d.cursor, d.cursorHint, d.hilight, d.label, d.user2, d.possibleRefText,
               d.possibleRefValue, d.endLines}),
            (V{16711680, 8773703, 13426249, 6922492, 255, 16777215, 0, 4210880, 12632319, 14024661,
               493045, 16777215, 11513635, 46848, 11993088}));
  EXPECT_EQ((std::vector<int>{d.minStringLength, d.fontSize, d.dumpRows, d.createBackups,
                              d.startTracerAtTlsCallback, d.showEipOnLoad, d.cursorFollowView,
                              d.markBasedRelocations, d.fixedRegsAutoMode}),
            (std::vector<int>{4, 15, 6, 1, 1, 1, 0, 0, 0}));
  EXPECT_STREQ(listingFontFor(d.fontSize).face, "Fixedsys");

  TempDir dir;
  TProfileFile profile(dir.file("OXU-DASM.INI"));
  writeWhole(profile.path(),
             "[colors]\nmemory_REF=1\nUser2=2\nEndlines=4294967295\nText=junk\n"
             "[General]\nMin_string_length=1\nFont_size=24\nDump_rows=0\nCreate_backups=0\n"
             "Start_tracer_at_TLS_callback=0\nShow_EIP_on_load=0\nCursor_follow_view=2\n"
             "MarkBasedRelocations=1\nShowCodeReferences=0\nScanMode=1\nOpenFileOnStartup=0\n"
             "[FixedRegs]\nAutoMode=1\n");
  // Colours keep their 24 bits, a text that is no number gives the default, a length out of
  // the dialog's range is used as it is, unusable rows give the default; start-up reads
  // Auto_mode, not AutoMode.
  const TSettings s = readSettings(profile);
  const TMainWindowSettings w = readMainWindowSettings(profile);
  EXPECT_EQ((V{s.memoryRef, s.user2, s.endLines, s.text}), (V{1, 2, 0xFFFFFF, 0}));
  EXPECT_EQ((std::vector<int>{s.minStringLength, s.fontSize, s.dumpRows, s.createBackups,
                              s.startTracerAtTlsCallback, s.showEipOnLoad, s.cursorFollowView,
                              s.markBasedRelocations, s.fixedRegsAutoMode, w.openFileOnStartup,
                              w.showCodeReferences, w.extremeScan}),
            (std::vector<int>{1, 24, 6, 0, 0, 0, 1, 1, 0, 0, 0, 1}));

  struct Bound {
    const char* line;
    int32_t TSettings::*member;
    int32_t expected;
  } bounds[] = {
      {"Font_size=1000", &TSettings::fontSize, 1000},
      {"Font_size=1001", &TSettings::fontSize, 15},
      {"Font_size=-5", &TSettings::fontSize, 15},
      {"Dump_rows=1", &TSettings::dumpRows, 1},
      {"Dump_rows=99999", &TSettings::dumpRows, 6},
      {"Min_string_length=0", &TSettings::minStringLength, 4},
      {"Min_string_length=500000", &TSettings::minStringLength, 500000},
  };
  for (const Bound& b : bounds) {
    writeWhole(profile.path(), std::string("[General]\n") + b.line + "\n");
    EXPECT_EQ(readSettings(profile).*b.member, b.expected) << b.line;
  }
}

TEST(Preferences, OpensWithCurrentValues) {
  TempDir dir;
  TProfileFile profile(dir.file("OXU-DASM.INI"));
  writeWhole(profile.path(), "[General]\nKeepUndoAfterSave=0\nScanMode=1\n");
  // A font size of 24 as the file had it: shown, refused only on OK.
  const TSettings s{.hilight = 0x123456,
                    .minStringLength = 5,
                    .fontSize = 24,
                    .dumpRows = 7,
                    .cursorFollowView = true,
                    .fixedRegsAutoMode = true};
  const TPrefModel m(s, profile);
  EXPECT_EQ(m.minStringLength + "/" + m.fontSize + "/" + m.dumpRows, "5/24/7");
  EXPECT_EQ((std::vector<bool>{m.openFileOnStartup, m.showCodeReferences, m.extremeScan,
                               m.keepUndoAfterSave, m.cursorFollowView, m.fixedRegsAutoMode,
                               m.showEipOnLoad}),
            (std::vector<bool>{true, true, true, false, true, true, true}));
  EXPECT_EQ(m.colors[9], 0x123456u);
  EXPECT_EQ(std::string(swatchKey(9)) + "|" + swatchLabel(9) + "|" + swatchLabel(10) + "|" +
                swatchKey(13),
            "Hilight|Hilight color:|Label color:|Endlines");
}

TEST(Preferences, ValidationInOrder) {
  struct Case {
    const char* minLength;
    const char* font;
    const char* rows;
    std::string message;  // empty: accepted
  } cases[] = {
      {"2", "6", "3", ""},
      {"100", "18", "30", ""},
      {" 4 ", "+15", "06", ""},
      {"1", "19", "31", kMinLengthRefused},  // the first failure only
      {"-2", "15", "6", kMinLengthRefused},
      {"", "15", "6", kMinLengthRefused},
      {"4x", "15", "6", kMinLengthRefused},
      {"99999999999", "15", "6", kMinLengthRefused},
      {"4", "5", "31", kFontRefused},
      {"4", "19", "6", kFontRefused},
      {"4", "abc", "6", kFontRefused},
      {"4", "15", "2", kRowsRefused},
      {"4", "15", "31", kRowsRefused},
      {"4", "15", "", kRowsRefused},
  };
  for (const Case& c : cases) {
    TempDir dir;
    TProfileFile profile(dir.file("OXU-DASM.INI"));
    TSettings settings;
    TMainWindowSettings window;
    TPrefModel m(settings, profile);
    m.minStringLength = c.minLength;
    m.fontSize = c.font;
    m.dumpRows = c.rows;
    m.colors[0] = 0xABCDEF;
    RecordingHost host;
    const TPrefOutcome out = m.confirm(settings, window, profile, host);
    SCOPED_TRACE(std::string(c.minLength) + "/" + c.font + "/" + c.rows);
    // A refusal shows one message, changes nothing and writes nothing.
    EXPECT_EQ(out.accepted, c.message.empty());
    EXPECT_EQ(host.messageLines(), c.message.empty() ? Lines{} : Lines{c.message});
    EXPECT_EQ(settings.memoryRef, c.message.empty() ? 0xABCDEFu : 0xFF0000u);
    if (c.message.empty()) continue;
    EXPECT_EQ(host.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(::access(profile.path().c_str(), F_OK), -1);
  }
}

TEST(Preferences, WritesInOrderAndTellsTheWindow) {
  TempDir dir;
  TProfileFile profile(dir.file("OXU-DASM.INI"));
  writeWhole(profile.path(),
             "; kept\n[Dialogs]\nSearchType=2\n[General]\nVersion=2350\nUnknown=x\n"
             "[FixedRegs]\nAuto_mode=0\n");
  TSettings settings;
  TMainWindowSettings window;
  TPrefModel m(settings, profile);
  m.minStringLength = "3";
  m.fontSize = "12";
  m.dumpRows = "10";
  m.fixedRegsAutoMode = true;
  m.cursorFollowView = true;
  m.showEipOnLoad = false;
  m.showCodeReferences = false;
  m.extremeScan = true;
  m.colors[13] = 0x010203;
  RecordingHost host;
  const TPrefOutcome out = m.confirm(settings, window, profile, host);
  EXPECT_TRUE(out.accepted && out.saved && out.repaint && out.rebuildFont && out.rescan);
  EXPECT_EQ(out.font.face + std::to_string(out.font.height), "Courier New12");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ((std::vector<int>{window.showCodeReferences, window.extremeScan,
                              settings.minStringLength, settings.fontSize, settings.dumpRows,
                              settings.fixedRegsAutoMode, settings.cursorFollowView,
                              settings.showEipOnLoad, int(settings.endLines)}),
            (std::vector<int>{0, 1, 3, 12, 10, 1, 1, 0, 0x010203}));

  EXPECT_EQ(readWhole(profile.path()),
            "; kept\n[Dialogs]\nSearchType=2\n[General]\nVersion=2350\nUnknown=x\n"
            "Min_string_length=3\nFont_size=12\nDump_rows=10\nOpenFileOnStartup=1\n"
            "KeepUndoAfterSave=1\nShowCodeReferences=0\nScanMode=1\n"
            "Start_tracer_at_TLS_callback=1\nShow_EIP_on_load=0\nCursor_follow_view=1\n"
            "[FixedRegs]\nAuto_mode=0\nAutoMode=1\n\n"
            "[Colors]\nMemory_ref=16711680\nCall_ref=8773703\nJump_ref=13426249\n"
            "Import_ref=6922492\nText_ref=255\nBackground=16777215\nText=0\nCursor=4210880\n"
            "Cursor_hint=12632319\nHilight=14024661\nUser1=493045\nPRefT_ref=11513635\n"
            "PRef_ref=46848\nEndlines=66051\n");
  // The switch written under AutoMode is not the one the next start reads.
  EXPECT_FALSE(readSettings(profile).fixedRegsAutoMode);

  // Same values again: nothing for the window to rebuild or rescan.
  TPrefModel same(settings, profile);
  const TPrefOutcome again = same.confirm(settings, window, profile, host);
  EXPECT_TRUE(again.accepted && again.repaint);
  EXPECT_FALSE(again.rebuildFont || again.rescan);
}

TEST(Preferences, UnwritableFileKeepsValuesForTheRun) {
  TempDir dir;
  TProfileFile profile(dir.path());  // a folder: cannot be read or replaced
  TSettings settings;
  TMainWindowSettings window;
  TPrefModel m(settings, profile);
  m.fontSize = "16";
  RecordingHost host;
  const TPrefOutcome out = m.confirm(settings, window, profile, host);
  EXPECT_TRUE(out.accepted && out.rebuildFont && !out.saved);
  EXPECT_EQ(settings.fontSize, 16);
  EXPECT_EQ(host.messageLines(),
            std::vector<std::string>{"File error: Unable to write the settings file:\n" +
                                     dir.path()});
}

// A colour chooser that records what it was shown and changes a custom colour.
class ChooserHost : public RecordingHost {
 public:
  std::vector<uint32_t> initials;
  std::vector<std::array<uint32_t, 16>> customSeen;
  std::optional<uint32_t> chooseColor(uint32_t initial, std::array<uint32_t, 16>& custom) override {
    initials.push_back(initial);
    customSeen.push_back(custom);
    custom[6] = 0x0A0B0C + static_cast<uint32_t>(initials.size());
    return RecordingHost::chooseColor(initial, custom);
  }
};

TEST(Preferences, ColourChooser) {
  TSettings settings;
  TPrefModel m(settings, TProfileFile("/nonexistent/OXU-DASM.INI"));
  TCustomColors custom;
  ChooserHost host;
  host.colorAnswers = {0x11223344u, std::nullopt};
  // Chosen, cancelled, no such swatch.
  EXPECT_EQ((std::vector<bool>{m.chooseColor(2, host, custom), m.chooseColor(3, host, custom),
                               m.chooseColor(14, host, custom)}),
            (std::vector<bool>{true, false, false}));
  EXPECT_EQ((V{m.colors[2], m.colors[3]}), (V{0x223344, 0x69A0FC}));
  EXPECT_EQ(host.initials, (std::vector<uint32_t>{0xCCDE49, 0x69A0FC}));
  const std::array<uint32_t, 16> initial{0xFF0000, 0x00B700, 0xAFAF23,
                                         0x69A0FC, 0x0000FF, 0xFFFFFF};
  EXPECT_EQ(host.customSeen[0], initial);
  EXPECT_EQ(host.customSeen[1][6], 0x0A0B0Du);  // the user's change is kept between calls
  EXPECT_EQ(settings.jumpRef, 0xCCDE49u);       // the dialog works on copies
}

TEST(SettingsPath, Rule) {
  struct Case {
    const char* exeDir;
    bool writable;
    const char* xdgConfigHome;
    const char* home;
    std::string expected;
  } cases[] = {
      {"/opt/oxu", true, "/x", "/home/u", "/opt/oxu/OXU-DASM.INI"},
      {"/opt/oxu", false, "/x/cfg", "/home/u", "/x/cfg/oxu-dasm/OXU-DASM.INI"},
      {"/opt/oxu", false, nullptr, "/home/u", "/home/u/.config/oxu-dasm/OXU-DASM.INI"},
      {"/opt/oxu", false, "", "/home/u/", "/home/u/.config/oxu-dasm/OXU-DASM.INI"},
      {"/opt/oxu", false, "relative", "/home/u", "/home/u/.config/oxu-dasm/OXU-DASM.INI"},
      {"/", true, nullptr, "/home/u", "/OXU-DASM.INI"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chooseSettingsPath(c.exeDir, c.writable,
                                 userConfigDirectory(c.xdgConfigHome, c.home)),
              c.expected)
        << c.exeDir << " " << c.writable;
  EXPECT_EQ(chooseSettingsPath("/opt/oxu", false, ""), "/opt/oxu/OXU-DASM.INI");

  TempDir dir;
  EXPECT_EQ(settingsPath(dir.path()), dir.file("OXU-DASM.INI"));
  EXPECT_TRUE(makeDirectories(dir.file("a/b/c"), 0700));
  struct stat st {};
  EXPECT_EQ(::stat(dir.file("a/b/c").c_str(), &st), 0);
  writeWhole(dir.file("plain"), "");
  EXPECT_FALSE(makeDirectories(dir.file("plain/x"), 0700));
  EXPECT_EQ(pathDirectory("/usr/bin/oxu-dasm") + "|" + pathDirectory("/oxu-dasm"), "/usr/bin|/");
  EXPECT_FALSE(executablePath().empty());
}

TEST(Shortcut, DesktopEntry) {
  EXPECT_EQ(desktopEntryText("/opt/oxu/oxu-dasm"),
            "[Desktop Entry]\nType=Application\nName=Disassemble with OXU\n"
            "Comment=Open the file in OXU-Dasm\nExec=\"/opt/oxu/oxu-dasm\" %f\n"
            "MimeType=application/x-ms-dos-executable;application/x-msdownload;"
            "application/vnd.microsoft.portable-executable;application/x-dosexec;"
            "application/x-ms-ne-executable;\nNoDisplay=true\nTerminal=false\n");
  struct Case {
    const char* path;
    const char* exec;
  } cases[] = {
      {"/a b/oxu", "Exec=\"/a b/oxu\" %f\n"},
      {"/a\"b/$x`", "Exec=\"/a\\\\\"b/\\\\$x\\\\`\" %f\n"},
      {"/a\\b/100%", "Exec=\"/a\\\\\\\\b/100%%\" %f\n"},
      {"/a\nb", "Exec=\"/a\\nb\" %f\n"},
  };
  for (const Case& c : cases)
    EXPECT_NE(desktopEntryText(c.path).find(c.exec), std::string::npos) << c.path;

  EXPECT_EQ(userApplicationsDirectory("/data", "/home/u"), "/data/applications");
  EXPECT_EQ(userApplicationsDirectory("rel", "/home/u"), "/home/u/.local/share/applications");
}

TEST(Shortcut, QuestionWriteAndFailure) {
  TempDir dir;
  const std::string apps = dir.file("share/applications"), blocked = dir.file("file/applications");
  writeWhole(dir.file("file"), "");
  const auto entry = [](const std::string& folder) {
    return folder + "/oxu-dasm-disassemble.desktop";
  };
  const auto question = [&](const std::string& folder) {
    return "Disassemble with OXU: This will add the following entry to your desktop allowing you "
           "to\nuse OXU on every executable quick and easy with the file manager's popup menu:"
           "\n\n\tDisassemble with OXU (" +
           entry(folder) +
           ")\n\nThis will overwrite any entry previously installed by OXU.\nDo you wish to "
           "continue ?";
  };
  struct Case {
    MsgAnswer answer;
    std::string apps;
    ShortcutResult result;
    std::vector<std::string> messages;
  } cases[] = {
      {MsgAnswer::No, apps, ShortcutResult::Declined, {question(apps)}},
      {MsgAnswer::Yes, apps, ShortcutResult::Written, {question(apps)}},
      {MsgAnswer::Yes, apps, ShortcutResult::Written, {question(apps)}},  // replaces the first
      {MsgAnswer::Yes,
       blocked,
       ShortcutResult::Failed,
       {question(blocked),
        "TPrefDlg::EvAddToAllFileTypes(): Unable to create the following desktop entry:\n" +
            entry(blocked)}},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    host.answers = {c.answer};
    EXPECT_EQ(addShortcutToAllFileTypes(host, "/opt/oxu/oxu-dasm", c.apps), c.result);
    EXPECT_EQ(host.messageLines(), c.messages);
    EXPECT_EQ(host.messages.at(0).buttons, MsgButtons::YesNo);
    EXPECT_EQ(readWhole(entry(c.apps)), c.result == ShortcutResult::Written
                                            ? desktopEntryText("/opt/oxu/oxu-dasm")
                                            : std::string());
  }
}

}  // namespace
