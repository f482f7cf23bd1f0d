// The assembler edit dialog on a real fixture with the real library: the
// preview while typing, OK writing through the document (and undo taking it
// back), the NOP padding and its setting, and the failures that keep the
// dialog open with nothing changed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <vector>

#include "../asm/asm_test_helpers.h"
#include "app/dialogs/asm_edit_dlg.h"
#include "document/document.h"
#include "persist/profile_file.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

namespace {

TEST(AsmEditDlg, PreviewOkUndoAndFailures) {
  struct Case {
    const char* library;  // nullptr: the real one
    int32_t offset;       // negative: from the end of the file
    bool fillNops;
    const char* text;
    const char* preview;
    const char* written;  // bytes at the offset after OK; "" when nothing is written
    const char* message;  // "caption: text" of the message OK shows, "" for none
  };
  // 0x62B: sub esp,000000A8 (6 bytes), shown with file offsets.
  const Case cases[] = {
      {nullptr, 0x62B, false, "push eax", "50  (1 byte)", "50ECA8000000", ""},
      {nullptr, 0x62B, true, "push eax", "50 90 90 90 90 90  (1 byte and 5 NOPs)", "509090909090",
       ""},
      {nullptr, 0x62B, true, "jmp 00000625", "EB F8 90 90 90 90  (2 bytes and 4 NOPs)",
       "EBF890909090", ""},
      {nullptr, -2, false, "mov eax,ebx", "89 D8  (2 bytes)", "89D8", ""},
      {nullptr, -1, false, "mov eax,ebx", "89 D8  (2 bytes): past the end of the file", "",
       "End of file has been reached: Command is too long!"},
      {nullptr, 0x62B, false, "frob eax", "unknown instruction: frob", "",
       "Unknown command: Please enter another one or click cancel!"},
      {"/nonexistent/libopcode.so", 0x62B, false, "nop", "libopcode.so cannot be loaded", "",
       "Unable to load libopcode.so!!: Please make sure that libopcode.so is in the OXU-Dasm "
       "directory!\nIf you don't have that file, you can download it at\n"
       "https://oxu-dasm.example.org/"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RecordingHost host;
    TDocument doc(host);
    doc.settings().noScan = true;
    doc.setPath(fixturePath("gui.exe"));
    ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
    doc.view().fileOffsets = true;
    const uint32_t offset = c.offset < 0 ? doc.fileSize() - uint32_t(-c.offset)
                                         : uint32_t(c.offset);
    const std::vector<uint8_t> before(doc.buffer(), doc.buffer() + doc.fileSize());
    TProfileFile profile(dir.file("settings.ini"));
    TAsmEditDlg dlg(doc, offset, &profile, nullptr,
                    TAssemblerBridge(c.library ? c.library : OXU_OPCODE_LIBRARY));
    dlg.show();
    if (dlg.fillNops()->isChecked() != c.fillNops) dlg.fillNops()->click();
    QTest::keyClicks(dlg.edit(), QString::fromLatin1(c.text));
    EXPECT_EQ(dlg.preview()->text().toStdString(), c.preview);
    dlg.okButton()->click();

    const bool written = c.written[0] != 0;
    EXPECT_EQ(dlg.isVisible(), !written);
    EXPECT_EQ(hexText(doc.buffer() + offset, std::strlen(c.written) / 2), c.written);
    EXPECT_EQ(host.messageLines(),
              *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    EXPECT_EQ(doc.fileChanged(), written);
    while (doc.undoAvailable()) doc.undo();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), doc.buffer()));
    // The NOP choice is kept for the next dialog, however this one ends.
    dlg.close();
    EXPECT_EQ(profile.readInt("Dialogs", "AsmFillNops", -1), c.fillNops ? 1 : 0);
  }
}

}  // namespace
