// Opening files: results, messages, status text, title and the commands
// that depend on the loaded file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "document/command_state.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/pe_builder.h"
#include "support/recording_host.h"

namespace {

TEST(LoadFile, FailuresReportTheirMessageAndResult) {
  TempDir dir;
  writeFile(dir.file("locked.exe"), {'M', 'Z'});
  chmod(dir.file("locked.exe").c_str(), 0);
  const bool rootReadsAnyway = ::access(dir.file("locked.exe").c_str(), R_OK) == 0;
  struct Case {
    std::string path;
    int result;
  } cases[] = {
      {dir.file("missing.exe"), LOAD_CANNOT_OPEN},
      {dir.path(), LOAD_CANNOT_OPEN},  // a directory
      {"", LOAD_CANNOT_OPEN},
      {dir.file("locked.exe"), rootReadsAnyway ? LOAD_OK : LOAD_CANNOT_OPEN},
  };
  for (const auto& c : cases) {
    RecordingHost host;
    TDocument doc(host);
    doc.setPath(c.path);
    EXPECT_EQ(doc.LoadFile(true), c.result) << c.path;
    if (c.result == LOAD_OK) continue;
    EXPECT_FALSE(doc.isLoaded());
    ASSERT_EQ(host.messageLines(),
              std::vector<std::string>{"File error: Couldn't open file:: " + c.path});
    EXPECT_EQ(host.messages[0].icon, MsgIcon::Warning);
  }
}

TEST(LoadFile, FailedLoadLeavesNoFileBehind) {
  RecordingHost host;
  TDocument doc(host);
  doc.setPath(fixturePath("gui.exe"));
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  doc.setPath("/nonexistent/file.exe");
  EXPECT_EQ(doc.LoadFile(true), LOAD_CANNOT_OPEN);
  EXPECT_FALSE(doc.isLoaded());
  EXPECT_EQ(doc.image().isPE(), 0u);
  EXPECT_FALSE(commandState(doc, CM_SHOW_IMPORTS).shown);
  EXPECT_EQ(doc.titleText(), "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA ");
}

TEST(LoadFile, BufferStatusAndTitle) {
  TempDir dir;
  writeFile(dir.file("three.bin"), {1, 2, 3});
  RecordingHost host;
  TDocument doc(host);
  doc.setPath(dir.file("three.bin"));
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  EXPECT_EQ(doc.fileSize(), 3u);
  // The 16 bytes behind the file read as zero.
  EXPECT_EQ(std::vector<uint8_t>(doc.buffer() + 3, doc.buffer() + 19), std::vector<uint8_t>(16));
  ASSERT_FALSE(host.statusFields.empty());
  EXPECT_EQ(host.statusFields.back(),
            std::make_pair(StatusField::FileSize, std::string("3 bytes")));
  EXPECT_EQ(doc.titleText(),
            "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA - [" + dir.file("three.bin") + "]");
  EXPECT_EQ(doc.image().fileName(), "three.bin");
  EXPECT_TRUE(host.messages.empty());

  writeFile(dir.file("empty"), {});
  doc.setPath(dir.file("empty"));
  EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
  EXPECT_EQ(doc.fileSize(), 0u);
}

TEST(LoadFile, ViewAndFileDependentCommandsPerKind) {
  struct Case {
    const char* file;
    bool bits16;
    bool props, exports, imports, menus, strings, tls;
  } cases[] = {
      {"gui.exe", false, true, false, true, true, true, true},
      {"fixdll.dll", false, true, true, true, false, false, false},
      {"tiny.exe", false, true, false, true, false, false, false},
      {"dos.exe", true, false, false, false, false, false, false},
      {"raw.bin", true, false, false, false, false, false, false},
  };
  RecordingHost host;
  TDocument doc(host);
  // Loading one kind after another removes what the previous file had.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    doc.view().fileOffsets = !c.bits16;  // what the previous file left
    doc.view().hexDump = true;
    doc.setPath(fixturePath(c.file));
    ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
    EXPECT_FALSE(doc.view().hexDump);
    EXPECT_EQ(doc.view().bits16, c.bits16);
    // PE files show memory addresses, other files their file offsets.
    EXPECT_EQ(doc.view().fileOffsets, c.bits16);
    std::vector<bool> shown;
    for (int id :
         {CM_IMAGE_PROPERTIES, CM_SHOW_EXPORTS, CM_SHOW_IMPORTS, CM_SHOW_MENUS, CM_SHOW_STRINGS})
      shown.push_back(commandState(doc, id).shown);
    EXPECT_EQ(shown, (std::vector<bool>{c.props, c.exports, c.imports, c.menus, c.strings}));
    const std::vector<TLayoutItem> bar = commandLayout(TPlace::MenuBar, commandConditions(doc));
    const bool resources = std::any_of(bar.begin(), bar.end(), [](const TLayoutItem& item) {
      return item.submenu == TPlace::ResourcesMenu;
    });
    EXPECT_EQ(resources, c.menus || c.strings);
    EXPECT_EQ(commandState(doc, CM_TLS_CALLBACK_1).enabled, c.tls);
  }
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
