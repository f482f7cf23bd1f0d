// The listing's navigation commands on the document: the history entry each
// move records, where it leads, and the messages of refused moves.
#include <gtest/gtest.h>

#include <string>

#include "base/le_read.h"
#include "document/view_commands.h"
#include "listing/listing_lines.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;  // no history entry expected

struct Opened : TOpenedDocument {
  explicit Opened(const char* file) : TOpenedDocument(fixturePath(file)) { doc.gotoOffset(0, 0); }
  // The newest entry's kind, or kNone when the history is empty.
  uint32_t newestKind() const {
    const TReturnManager& h = doc.history();
    return h.count() ? h.getReturn(h.count() - 1).kind : kNone;
  }
  std::string lastMessage() const {
    return host.messages.empty() ? "" : host.messageLines().back();
  }
};

TEST(ViewCommands, FollowingReferences) {
  enum Op { Click, Code, Data };
  struct Case {
    const char* file;
    bool memory;  // addresses shown as memory addresses
    Op op;
    uint16_t type;
    uint32_t target;
    uint32_t kind;  // recorded, with the source 0x230
    uint32_t top;
    bool hexDump;
    const char* message;
  } cases[] = {
      {"gui.exe", true, Click, HOTSPOT_CALL, 0x700, RK_CALL, 0x700, false, ""},
      {"gui.exe", true, Click, HOTSPOT_FAR_JUMP, 0x700, RK_JUMP, 0x700, false, ""},
      {"gui.exe", true, Click, HOTSPOT_DATA, 0x700, kNone, 0, false,
       "TDWin::EvLButtonUp() : Ref error: Unknown reference type!"},
      {"gui.exe", true, Code, HOTSPOT_FAR_CALL, 0x700, RK_CALL, 0x700, false, ""},
      {"gui.exe", true, Code, HOTSPOT_POSSIBLE_REF, 0x700, RK_JUMP, 0x700, false, ""},
      {"gui.exe", true, Code, HOTSPOT_DATA, 0x700, RK_GOTO, 0x700, false, ""},
      {"gui.exe", true, Data, HOTSPOT_CALL, 0x700, RK_GOTO, 0x700, true, ""},
      // A DOS program's near jump in memory addresses lands past its 0x20-byte header.
      {"dos.exe", true, Code, HOTSPOT_JUMP, 0x200, RK_JUMP, 0x220, false, ""},
      {"dos.exe", true, Data, HOTSPOT_JUMP, 0x200, RK_GOTO, 0x220, true, ""},
      {"dos.exe", true, Code, HOTSPOT_FAR_JUMP, 0x200, RK_JUMP, 0x200, false, ""},
      {"dos.exe", false, Code, HOTSPOT_JUMP, 0x200, RK_JUMP, 0x200, false, ""},
      {"dos.exe", true, Click, HOTSPOT_JUMP, 0x200, RK_JUMP, 0x200, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " op " << c.op << " type " << c.type);
    Opened o(c.file);
    o.doc.view().fileOffsets = !c.memory;
    if (c.op == Click) followReference(o.doc, c.type, 0x230, c.target);
    if (c.op == Code) CmGotoCode(o.doc, c.type, 0x230, c.target);
    if (c.op == Data) CmGotoData(o.doc, c.type, 0x230, c.target);
    EXPECT_EQ(o.newestKind(), c.kind);
    if (c.kind != kNone) {
      EXPECT_EQ(o.doc.history().getReturn(0).address, 0x230u);
    }
    EXPECT_EQ(o.doc.view().topOffset, c.top);
    EXPECT_EQ(o.doc.view().hexDump, c.hexDump);
    EXPECT_EQ(o.lastMessage(), c.message);
  }
}

// gui.exe's dword at 0x41E is 0x00404124, a relocated memory address whose
// relocation entry is the word at 0x1A08.
TEST(ViewCommands, ThroughTheDwordAtAByte) {
  enum Op { Goto, Dump, Relocation };
  struct Case {
    Op op;
    uint32_t at;
    UserAddressKind kind;
    uint32_t patch;  // dword written at `at` first, or kNone
    uint32_t top;    // the listing's top (Goto, Relocation) or the dump's place
    const char* message;
  } cases[] = {
      {Goto, 0x41E, UserAddressKind::Memory, kNone, 0xF24, ""},
      {Goto, 0x41E, UserAddressKind::Rva, 0x1225, 0x625, ""},
      {Goto, 0x41E, UserAddressKind::FileOffset, 0x625, 0x625, ""},
      {Goto, 0x41E, UserAddressKind::Rva, kNone, 0,
       "Invalid RVA address!: Sorry, address is not in file!"},
      // A refused file offset records nothing either.
      {Goto, 0x41E, UserAddressKind::FileOffset, kNone, 0, "Invalid goto address:: 00404124"},
      {Goto, 0x1BFD, UserAddressKind::FileOffset, kNone, 0,
       "TDWin::CmGotoFileOffset() : Memory error: Unable to lock file memory!"},
      {Dump, 0x41E, UserAddressKind::Memory, kNone, 0xF24, ""},
      {Dump, 0x41E, UserAddressKind::Rva, kNone, kNone,
       "Invalid RVA address!: Sorry, address is not in file!"},
      {Dump, 0x1BFD, UserAddressKind::Rva, kNone, kNone,
       "TDWin::CmDumpCodeRVA(): Memory error!: Unable to lock file memory!"},
      {Dump, 0x1BFD, UserAddressKind::Memory, kNone, kNone,
       "TDWin::CmDumpCodeMem(): Memory error!: Unable to lock file memory!"},
      {Relocation, 0x41E, UserAddressKind::FileOffset, kNone, 0x1A08, ""},
      {Relocation, 0x400, UserAddressKind::FileOffset, kNone, 0, ""},  // no entry covers it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << c.op << " at " << std::hex << c.at);
    Opened o("gui.exe");
    if (c.patch != kNone) {
      uint8_t d[4];
      writeLe32(d, c.patch);
      o.doc.ChangeMemory(c.at, d, 4);
    }
    bool moved = false;
    switch (c.op) {
      case Goto: moved = CmGotoFileOffset(o.doc, c.at, 0x230, c.kind); break;
      case Dump: EXPECT_EQ(dumpTargetThroughDword(o.doc, c.at, c.kind), c.top); break;
      case Relocation: moved = CmGotoRelocation(o.doc, c.at, 0x230); break;
    }
    if (c.op != Dump) {
      EXPECT_EQ(o.doc.view().topOffset, c.top);
      EXPECT_EQ(o.newestKind(), moved ? RK_GOTO : kNone);
      EXPECT_EQ(moved, c.top != 0);
    }
    EXPECT_EQ(o.lastMessage(), c.message);
  }
}

TEST(ViewCommands, RemovingARelocationMakesItsEntryAbsolute) {
  Opened o("gui.exe");
  EXPECT_FALSE(CmRemoveRelocation(o.doc, 0x400));
  ASSERT_TRUE(CmRemoveRelocation(o.doc, 0x41E));
  EXPECT_EQ(o.doc.image().relocationStateAt(0x101E), 0u);
  EXPECT_EQ(readLe16(o.doc.buffer() + 0x1A08) >> 12, 0u);
  o.doc.undo();
  EXPECT_EQ(o.doc.image().relocationStateAt(0x101E), 1u);
  Opened dos("dos.exe");  // no base relocations
  EXPECT_FALSE(CmRemoveRelocation(dos.doc, 0x1C));
}

TEST(ViewCommands, EntryPointAndNamedAddresses) {
  Opened o("gui.exe");
  CmGotoEntryPoint(o.doc);
  EXPECT_EQ(o.doc.view().topOffset, 0x625u);
  CmGotoEntryPoint(o.doc);
  CmGotoEntryPoint(o.doc);
  EXPECT_EQ(o.doc.history().count(), 2u);  // recorded once while there
  // In 16-bit mode a PE file's entry is its DOS part's.
  o.doc.view().bits16 = true;
  CmGotoEntryPoint(o.doc);
  EXPECT_EQ(o.doc.view().topOffset, 0x40u);
  EXPECT_EQ(namedAddressOffset(o.doc, 0x401225), 0x625u);
  EXPECT_EQ(namedAddressOffset(o.doc, 0x1225), NOT_IN_FILE);
  showNamedAddress(o.doc, 0x401225);
  EXPECT_EQ(o.doc.view().topOffset, 0x625u);
  EXPECT_EQ(o.newestKind(), RK_GOTO);

  Opened dos("dos.exe");
  CmGotoEntryPoint(dos.doc);
  EXPECT_EQ(dos.doc.view().topOffset, 0x220u);
  EXPECT_EQ(namedAddressOffset(dos.doc, 0x220), 0x220u);  // keyed by file offset
}

}  // namespace
