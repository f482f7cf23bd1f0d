// Opening files: results, messages, status text, title and what a failed
// load leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/text_format.h"
#include "document/command_state.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

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
    // Over a loaded PE file: a failed load leaves nothing of it behind.
    TOpenedDocument o(fixturePath("gui.exe"));
    TDocument& doc = o.doc;
    const RecordingHost& host = o.host;
    doc.setPath(c.path);
    EXPECT_EQ(doc.LoadFile(true), c.result) << c.path;
    if (c.result == LOAD_OK) continue;
    EXPECT_FALSE(doc.isLoaded());
    EXPECT_EQ(doc.image().isPE(), 0u);
    EXPECT_FALSE(commandState(doc, CM_SHOW_IMPORTS).shown);
    EXPECT_EQ(doc.titleText(), "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA ");
    ASSERT_EQ(host.messageLines(),
              std::vector<std::string>{"File error: Couldn't open file:: " + c.path});
    EXPECT_EQ(host.messages[0].icon, MsgIcon::Warning);
  }
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
  EXPECT_EQ(doc.image().fileName(), "three.bin");
  EXPECT_TRUE(host.messages.empty());

  writeFile(dir.file("empty"), {});
  doc.setPath(dir.file("empty"));
  EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
  EXPECT_EQ(doc.fileSize(), 0u);
}

// The DOS fixture and the raw file as their build facts say.
TEST(LoadFile, DosProgramAndRawFile) {
  TOpenedDocument dos(fixturePath("dos.exe"));
  const TImageInfo& im = dos.doc.image();
  // MZ, PE, entry offset and address, base, the entry's offset as memory.
  EXPECT_EQ(wsString("%u %u %X %X %X %X", im.isMZ(), im.isPE(), im.entryOffset(),
                     im.entryMemoryAddress(), im.imageBase(), im.fileOffsetToMemory(0x220)),
            "1 0 220 200 FFFFFFE0 200");
  TOpenedDocument raw(fixturePath("raw.bin"));
  EXPECT_EQ(raw.doc.image().isMZ(), 0u);
  EXPECT_EQ(raw.doc.image().fileOffsetToMemory(0x13F), 0x13Fu);
  EXPECT_EQ(raw.doc.image().fileOffsetToMemory(0x140), NOT_IN_FILE);
}

}  // namespace
