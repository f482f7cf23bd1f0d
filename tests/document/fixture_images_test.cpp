// The committed fixture programs read as their build facts say.
#include <gtest/gtest.h>

#include "document/command_state.h"
#include "document/document.h"
#include "image/exports.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

namespace {

struct Loaded : TOpenedDocument {
  explicit Loaded(const char* name) : TOpenedDocument(fixturePath(name)) {}
  const TImageInfo& im() const { return doc.image(); }
};

TEST(Fixtures, GuiProgram) {
  Loaded g("gui.exe");
  const TImageInfo& im = g.im();
  EXPECT_EQ(im.fileSize(), 7168u);
  EXPECT_EQ(im.isPE(), 1u);
  EXPECT_EQ(im.imageBase(), 0x400000u);
  EXPECT_EQ(im.entryOffset(), 0x625u);
  EXPECT_EQ(im.entryMemoryAddress(), 0x401225u);
  ASSERT_EQ(im.sectionCount(), 7u);
  EXPECT_STREQ(im.sections()[6].name, ".reloc");
  EXPECT_EQ(im.lowestRawOffset(), 0x400u);
  EXPECT_EQ(im.importDirectoryOffset(), 0xE00u);
  EXPECT_EQ(im.importSectionEnd(), 0x1200u);

  std::vector<std::string> modules;
  for (const auto& m : im.imports().modules()) modules.push_back(m.name);
  EXPECT_EQ(modules, (std::vector<std::string>{"fixdll.dll", "KERNEL32.dll", "USER32.dll"}));
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

  ASSERT_EQ(im.tlsCallbackCount(), 2u);
  EXPECT_EQ(im.tlsCallbackOffset(0), 0x5E3u);
  EXPECT_EQ(im.tlsCallbackOffset(1), 0x5FDu);
  EXPECT_EQ(im.tlsNextSlotOffset(0), 0xC60u);
  EXPECT_EQ(im.tlsNextSlotOffset(1), 0xC64u);
  EXPECT_EQ(commandState(g.doc, CM_TLS_CALLBACK_1).text, "Callback 1 (:004011E3)");

  ASSERT_NE(im.relocationTable(), nullptr);
  EXPECT_EQ(im.relocationTable()->blocks().size(), 2u);
  EXPECT_EQ(im.relocationStateAt(0x101E), 1u);
  EXPECT_EQ(im.relocationEntryOffsetAt(0x1021), 0x1A08u);
  EXPECT_EQ(im.menusPresent(), 1u);
  EXPECT_EQ(im.stringsPresent(), 1u);
}

TEST(Fixtures, DllExports) {
  Loaded d("fixdll.dll");
  std::vector<TExportEntry> e;
  ASSERT_EQ(listExports(d.im(), e), ExportWalkResult::Ok);
  std::vector<std::string> names;
  for (const auto& x : e) names.push_back(x.name);
  EXPECT_EQ(names, (std::vector<std::string>{"FixAdd", "FixSub", "ORD: 0003", "FwdTick", "FixScale",
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
  EXPECT_EQ(dos.im().isMZ(), 1u);
  EXPECT_EQ(dos.im().isPE(), 0u);
  EXPECT_EQ(dos.im().entryOffset(), 0x220u);
  EXPECT_EQ(dos.im().entryMemoryAddress(), 0x200u);
  EXPECT_EQ(dos.im().imageBase(), 0xFFFFFFE0u);
  EXPECT_EQ(dos.im().fileOffsetToMemory(0x220), 0x200u);

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
