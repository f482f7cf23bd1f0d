// The bridge to libopcode.so and the edit dialog's exchange: which library and
// entry are used, the address it gets, the writes through ChangeMemory and the
// messages of every failure.
#include <gtest/gtest.h>

#include "asm_test_helpers.h"
#include "document/assembler_bridge.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

namespace {

enum class TLib { Real, Missing, NoEntry, OpcodeOnly };

std::string libraryPath(TLib lib) {
  switch (lib) {
    case TLib::Real: return OXU_OPCODE_LIBRARY;
    case TLib::Missing: return "/nonexistent/libopcode.so";
    case TLib::NoEntry: return OXU_STUB_NO_ENTRY_LIBRARY;
    case TLib::OpcodeOnly: return OXU_STUB_OPCODE_LIBRARY;
  }
  return {};
}

struct TEditCase {
  TLib lib;
  const char* file;
  int32_t offset;  // negative: from the end of the file
  bool fileOffsets, bits16;
  const char* text;
  AsmEditResult result;
  uint32_t address;     // what the library was given
  const char* bytes;    // at the offset afterwards (written ones only)
  const char* caption;  // of the one message shown, "" for none
  const char* message;
  const char* reason;
};

const char kNoLibraryText[] =
    "Please make sure that libopcode.so is in the OXU-Dasm directory!\nIf you don't have that file, you can "
    "download it at\nhttps://oxu-dasm.example.org/";

TEST(AssemblerBridge, EditAssemblerCommand) {
  const TEditCase cases[] = {
      {TLib::Real, "gui.exe", 0x400, false, false, "jmp 00401225", AsmEditResult::Written, 0x401000,
       "E920020000", "", "", ""},
      {TLib::Real, "gui.exe", 0x400, true, false, "jmp 00000625", AsmEditResult::Written, 0x400,
       "E920020000", "", "", ""},
      {TLib::Real, "gui.exe", 0x400, false, false, "mov ax,bx", AsmEditResult::Written, 0x401000,
       "6689D8", "", "", ""},
      {TLib::Real, "gui.exe", 0x400, false, true, "mov ax,bx", AsmEditResult::Written, 0x401000,
       "89D8", "", "", ""},
      {TLib::Real, "dos.exe", 0x225, false, false, "call 023C", AsmEditResult::Written, 0x225,
       "E81400", "", "", ""},
      {TLib::Real, "gui.exe", -2, true, false, "mov eax,ebx", AsmEditResult::Written, 0x1BFE,
       "89D8", "", "", ""},
      {TLib::Real, "gui.exe", -1, true, false, "mov eax,ebx", AsmEditResult::TooLong, 0x1BFF, "",
       "End of file has been reached", "Command is too long!", ""},
      {TLib::Real, "gui.exe", 0x400, false, false, "frob eax", AsmEditResult::Unknown, 0x401000, "",
       "Unknown command", "Please enter another one or click cancel!", "unknown instruction: frob"},
      {TLib::Missing, "gui.exe", 0x400, false, false, "nop", AsmEditResult::NoLibrary, 0x401000, "",
       "Unable to load libopcode.so!!", kNoLibraryText, ""},
      {TLib::NoEntry, "gui.exe", 0x400, false, false, "nop", AsmEditResult::NoEntry, 0x401000, "",
       "Unable to use libopcode.so!!", "", ""},
      // A library with opcode alone serves 16-bit code too, and cannot say why it refuses.
      {TLib::OpcodeOnly, "gui.exe", 0x400, false, true, "nop", AsmEditResult::Written, 0x401000,
       "9000104000", "", "", ""},
      {TLib::OpcodeOnly, "gui.exe", 0x400, false, false, "refuse", AsmEditResult::Unknown, 0x401000,
       "", "Unknown command", "Please enter another one or click cancel!", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + ": " + c.text);
    TOpenedDocument d(fixturePath(c.file));
    d.doc.workers().waitReferenceScan();
    d.host.messages.clear();
    d.doc.view().fileOffsets = d.doc.view().fileOffsets || c.fileOffsets;
    d.doc.view().bits16 = d.doc.view().bits16 || c.bits16;
    const uint32_t offset = c.offset < 0 ? d.doc.fileSize() - uint32_t(-c.offset)
                                         : uint32_t(c.offset);
    const std::vector<uint8_t> before(d.doc.buffer(), d.doc.buffer() + d.doc.fileSize());
    const TAsmEdit edit = editAssemblerCommand(d.doc, offset, c.text,
                                               TAssemblerBridge(libraryPath(c.lib)));
    EXPECT_EQ(edit.result, c.result);
    EXPECT_EQ(edit.address, c.address);
    EXPECT_EQ(edit.reason, c.reason);
    const std::string text =
        c.lib == TLib::NoEntry ? libraryPath(c.lib) + " has no function opcode(out, text, address)!"
                               : c.message;
    EXPECT_EQ(d.host.messageLines(), c.caption[0]
                                         ? std::vector<std::string>{c.caption + (": " + text)}
                                         : std::vector<std::string>{});
    // The bytes written, only they changed, and the change can be undone.
    const size_t n = std::strlen(c.bytes) / 2;
    EXPECT_EQ(hexText(d.doc.buffer() + offset, n), c.bytes);
    for (uint32_t i = 0; i < d.doc.fileSize(); ++i)
      ASSERT_TRUE((i >= offset && i < offset + n) || d.doc.buffer()[i] == before[i]) << i;
    EXPECT_EQ(d.doc.fileChanged(), n != 0);
    for (size_t i = 0; i < n; ++i) d.doc.undo();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), d.doc.buffer()));
  }
}

TEST(AssemblerBridge, SearchPathStartsBesideTheProgram) {
  const std::vector<std::string> paths = TAssemblerBridge().searchPath();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_NE(paths[0].find("/tests/asm/libopcode.so"), std::string::npos) << paths[0];
  EXPECT_NE(paths[1].find("/tests/asm/../lib/libopcode.so"), std::string::npos) << paths[1];
  EXPECT_EQ(paths[2], "libopcode.so");
  EXPECT_EQ(TAssemblerBridge("/x/y.so").searchPath(), std::vector<std::string>{"/x/y.so"});
}

}  // namespace
