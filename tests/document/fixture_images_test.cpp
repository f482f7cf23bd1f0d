// The committed fixture programs read as their build facts say.
#include <gtest/gtest.h>

#include "base/text_format.h"
#include "document/command_state.h"
#include "document/document.h"
#include "image/exports.h"
#include "support/fixtures.h"
#include "support/opened_document.h"
#include "support/texts_of.h"

namespace {

struct Loaded : TOpenedDocument {
  explicit Loaded(const char* name) : TOpenedDocument(fixturePath(name)) {}
  const TImageInfo& im() const { return doc.image(); }
};

TEST(Fixtures, GuiProgram) {
  Loaded g("gui.exe");
  const TImageInfo& im = g.im();
  // Size, PE, base, entry offset and address, sections, lowest raw offset, imports.
  EXPECT_EQ(wsString("%u %u %X %X %X %u %s %X %X %X", im.fileSize(), im.isPE(), im.imageBase(),
                     im.entryOffset(), im.entryMemoryAddress(), im.sectionCount(),
                     im.sectionCount() == 7 ? im.sections()[6].name : "", im.lowestRawOffset(),
                     im.importDirectoryOffset(), im.importSectionEnd()),
            "7168 1 400000 625 401225 7 .reloc 400 E00 1200");
  EXPECT_EQ(textsOf(im.imports().modules(), [](const auto& m) { return m.name; }),
            (std::vector<std::string>{"fixdll.dll", "KERNEL32.dll", "USER32.dll"}));
  EXPECT_EQ(im.imports().functions().size(), 4u + 5u + 19u);
  char m[80], f[80];
  struct Slot {
    uint32_t address;
    const char* module;
    const char* function;
  } slots[] = {
      {0x4040CC, "fixdll.dll", "FixAdd"},  // read through FirstThunk
      {0x4040D0, "fixdll.dll", "ORD: 0003"},
      {0x4040E4, "KERNEL32.dll", "GetModuleHandleA"},
      {0x4040F8, "USER32.dll", "CheckMenuItem"},
  };
  for (const auto& s : slots) {
    ASSERT_TRUE(im.lookupImportSlot(s.address, m, 80, f, 80)) << std::hex << s.address;
    EXPECT_STREQ(m, s.module);
    EXPECT_STREQ(f, s.function);
  }

  // Count, callback offsets and their next slots.
  EXPECT_EQ(wsString("%u %X %X %X %X", im.tlsCallbackCount(), im.tlsCallbackOffset(0),
                     im.tlsCallbackOffset(1), im.tlsNextSlotOffset(0), im.tlsNextSlotOffset(1)),
            "2 5E3 5FD C60 C64");
  EXPECT_EQ(commandState(g.doc, CM_TLS_CALLBACK_1).text, "Callback 1 (:004011E3)");

  ASSERT_NE(im.relocationTable(), nullptr);
  // Relocation blocks, state and entry, menus and strings present.
  EXPECT_EQ(wsString("%zu %u %X %u %u", im.relocationTable()->blocks().size(),
                     im.relocationStateAt(0x101E), im.relocationEntryOffsetAt(0x1021),
                     im.menusPresent(), im.stringsPresent()),
            "2 1 1A08 1 1");
}

TEST(Fixtures, DllExports) {
  Loaded d("fixdll.dll");
  std::vector<TExportEntry> e;
  ASSERT_EQ(listExports(d.im(), e), ExportWalkResult::Ok);
  EXPECT_EQ(textsOf(e, [](const TExportEntry& x) { return x.name; }),
            (std::vector<std::string>{"FixAdd", "FixSub", "ORD: 0003", "FwdTick", "FixScale",
                                      "FixVersion"}));
  EXPECT_EQ(e[5].index, 6u);  // index 5 has RVA 0

  auto own = ownExportNames(d.im());
  ASSERT_EQ(own.size(), 6u);
  // The forwarder's address lies inside the export directory.
  uint32_t rva, size;
  ASSERT_TRUE(d.im().dataDirectory(0, rva, size));
  const uint32_t fwd = own[3].address - d.im().imageBase();
  EXPECT_GE(fwd, rva);
  EXPECT_LT(fwd, rva + size);
}

TEST(Fixtures, DosProgramAndRawFile) {
  Loaded dos("dos.exe");
  const TImageInfo& im = dos.im();
  // MZ, PE, entry offset and address, base, the entry's offset as memory.
  EXPECT_EQ(wsString("%u %u %X %X %X %X", im.isMZ(), im.isPE(), im.entryOffset(),
                     im.entryMemoryAddress(), im.imageBase(), im.fileOffsetToMemory(0x220)),
            "1 0 220 200 FFFFFFE0 200");

  Loaded raw("raw.bin");
  EXPECT_EQ(raw.im().isMZ(), 0u);
  EXPECT_EQ(raw.im().fileOffsetToMemory(0x13F), 0x13Fu);
  EXPECT_EQ(raw.im().fileOffsetToMemory(0x140), NOT_IN_FILE);
}

TEST(Fixtures, UninitialisedTail) {
  Loaded t("tiny.exe");
  const SectionInfo* data = nullptr;
  for (const auto& s : t.im().sections())
    if (std::string(s.name) == ".data") data = &s;
  ASSERT_NE(data, nullptr);
  EXPECT_NE(t.im().rvaToFileOffset(data->rva, false), NOT_IN_FILE);
  EXPECT_EQ(t.im().rvaToFileOffset(data->rva + data->rawSize, true), NOT_IN_FILE);
}

}  // namespace
