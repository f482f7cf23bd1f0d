// Exports, base relocations and TLS callbacks.
#include <gtest/gtest.h>

#include <memory>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/exports.h"
#include "image/tls_menu.h"
#include "support/parsed_image.h"
#include "support/pe_builder.h"
#include "support/texts_of.h"

namespace {

// An export directory at RVA 0x3000 with `rvas` functions, names for some
// indexes (name, index) and Base 1.
TPeBuilder exportingImage(const std::vector<uint32_t>& rvas,
                          const std::vector<std::pair<std::string, uint16_t>>& names) {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x1000, 0x200);
  b.addSection(".edata", 0x3000, 0x1000, 0x400);
  b.setDirectory(0, 0x3000, 0x400);
  const uint32_t f = 0x3100, n = 0x3200, o = 0x3280, text = 0x3300;
  b.put32(0x3000 + 16, 1);
  b.put32(0x3000 + 20, uint32_t(rvas.size()));
  b.put32(0x3000 + 24, uint32_t(names.size()));
  b.put32(0x3000 + 28, f);
  b.put32(0x3000 + 32, n);
  b.put32(0x3000 + 36, o);
  for (size_t i = 0; i < rvas.size(); ++i) b.put32(f + 4 * uint32_t(i), rvas[i]);
  uint32_t at = text;
  for (size_t j = 0; j < names.size(); ++j) {
    b.put32(n + 4 * uint32_t(j), at);
    b.put16(o + 2 * uint32_t(j), names[j].second);
    b.putString(at, names[j].first);
    at += uint32_t(names[j].first.size() + 1);
  }
  return b;
}

std::vector<std::string> names(const std::vector<TExportEntry>& entries) {
  return textsOf(entries, [](const TExportEntry& e) { return e.name; });
}

TEST(Exports, WalkInIndexOrderWithOrdinalNames) {
  TParsedImage p(exportingImage({0x1010, 0x1020, 0x1030, 0, 0x3010},
                                {{"Second", 1}, {"First", 0}, {"Again", 1}})
                     .build());
  std::vector<TExportEntry> e;
  ASSERT_EQ(listExports(p.image, e), ExportWalkResult::Ok);
  // Index 3 has RVA 0: no entry. The first name slot naming an index wins.
  EXPECT_EQ(names(e), (std::vector<std::string>{"First", "Second", "ORD: 0003", "ORD: 0005"}));
  EXPECT_EQ(e[2].index, 2u);
  EXPECT_EQ(e[3].rva, 0x3010u);  // a forwarder points into the directory

  EXPECT_EQ(textsOf(ownExportNames(p.image),
                    [](const auto& n) { return wsString("%X %s", n.address, n.name.c_str()); }),
            (std::vector<std::string>{"401010 First", "401020 Second", "401030 ORD: 0003",
                                      "403010 ORD: 0005"}));
}

TEST(Exports, Failures) {
  // Directory not in the file.
  TPeBuilder b = exportingImage({0x1010}, {});
  b.setDirectory(0, 0x9000, 40);
  TParsedImage dir(b.build());
  std::vector<TExportEntry> e;
  EXPECT_EQ(listExports(dir.image, e), ExportWalkResult::DirectoryFailure);
  EXPECT_TRUE(ownExportNames(dir.image).empty());
  EXPECT_STREQ(exportFailureText(ExportWalkResult::DirectoryFailure).message,
               "This programm doesn't export any functions!");

  // A zero directory RVA is no directory, not the DOS header.
  TPeBuilder zero = exportingImage({0x1010}, {});
  zero.setDirectory(0, 0, 0);
  zero.mzIp = 1;  // would read as one function at the header's dword 0x1C
  TParsedImage z(zero.build());
  EXPECT_EQ(listExports(z.image, e), ExportWalkResult::DirectoryFailure);
  EXPECT_TRUE(ownExportNames(z.image).empty());

  // Function array running past the end of the file.
  TParsedImage table(exportingImage({0x1010}, {}).build());
  table.patch32(0x600 + 20, 0x1000);  // NumberOfFunctions
  EXPECT_EQ(listExports(table.image, e), ExportWalkResult::TableFailure);
  EXPECT_STREQ(exportFailureText(ExportWalkResult::TableFailure).title, "Wrong export table!");

  // A name running to the end of the file without its terminator: the list
  // fails, the naming keeps what it had.
  TPeBuilder cut = exportingImage({0x1010, 0x1020}, {{"Good", 0}, {"Bad", 1}});
  std::vector<uint8_t> f = cut.build();
  const uint32_t badName = 0x600 + 0x300 + 5;  // "Bad" follows "Good\0"
  f.resize(badName + 3);
  TParsedImage unterminated(f);
  EXPECT_EQ(listExports(unterminated.image, e), ExportWalkResult::TableFailure);
  auto own = ownExportNames(unterminated.image);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0].name, "Good");
}

TEST(Relocations, StatesAndEntryOffsets) {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x3000, 0x3000);
  b.addSection(".reloc", 0x5000, 0x1000, 0x200);
  // Block 1: page 0x1000, entries 0x3010 and 0x3FFE; block 2: page 0x3000
  // with an absolute entry; block of size 8; then a block of size 0 ends it.
  const std::vector<uint32_t> words = {0x1000, 12,     0x3FFE3010, 0x3000, 12,
                                       0x0004, 0x6000, 8,          0x4000, 0};
  for (size_t i = 0; i < words.size(); ++i) b.put32(0x5000 + 4 * uint32_t(i), words[i]);
  b.setDirectory(5, 0x5000, 4 * uint32_t(words.size()));
  TParsedImage p(b.build());
  const TRelocationTable* t = p.image.relocationTable();
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->blocks().size(), 3u);
  EXPECT_EQ(t->blocks()[1].entryCount, 2u);
  EXPECT_EQ(t->blocks()[2].entryCount, 0u);
  struct Case {
    uint32_t rva, state, entry;
  } cases[] = {
      {0x1010, 1, 0x3408},      {0x1011, 2, 0x3408}, {0x1013, 2, 0x3408}, {0x1014, 0, NOT_IN_FILE},
      {0x1FFE, 1, 0x340A},      {0x2000, 2, 0x340A}, {0x2001, 2, 0x340A}, {0x2002, 0, NOT_IN_FILE},
      {0x3004, 0, NOT_IN_FILE},  // absolute entries cover nothing
  };
  for (const auto& c : cases) {
    EXPECT_EQ(p.image.relocationStateAt(c.rva), c.state) << std::hex << c.rva;
    EXPECT_EQ(p.image.relocationEntryOffsetAt(c.rva), c.entry) << std::hex << c.rva;
  }
  // A block running past the directory ends the table; a directory past the file's end is none.
  b.setDirectory(5, 0x5000, 8);
  TParsedImage shortDirectory(b.build());
  ASSERT_NE(shortDirectory.image.relocationTable(), nullptr);
  EXPECT_TRUE(shortDirectory.image.relocationTable()->blocks().empty());
  b.setDirectory(5, 0x5000, 0x201);
  EXPECT_EQ(TParsedImage(b.build()).image.relocationTable(), nullptr);
}

// A TLS directory at RVA 0x3000 whose callback array at 0x3100 holds `slots`.
std::unique_ptr<TParsedImage> tlsImage(const std::vector<uint32_t>& slots, size_t cutTo = 0) {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x1000, 0x200);
  b.addSection(".tls", 0x3000, 0x1000, 0x200);
  b.setDirectory(9, 0x3000, 24);
  b.put32(0x3000 + 12, 0x403100);
  for (size_t k = 0; k < slots.size(); ++k) b.put32(0x3100 + 4 * uint32_t(k), slots[k]);
  std::vector<uint8_t> f = b.build();
  if (cutTo) f.resize(cutTo);
  return std::make_unique<TParsedImage>(f);
}

TEST(Tls, CallbackListMenuAndFileEnd) {
  auto two = tlsImage({0x401010, 0x401020, 0});
  const TImageInfo& im = two->image;
  ASSERT_EQ(im.tlsCallbackCount(), 2u);
  EXPECT_EQ(im.tlsCallbackOffset(0), 0x410u);
  EXPECT_EQ(im.tlsNextSlotOffset(0), 0x704u);  // the slot holding the second callback
  EXPECT_EQ(im.tlsNextSlotOffset(1), 0x708u);  // the terminating zero
  EXPECT_EQ(im.findTlsCallback(0x420), 1);
  EXPECT_EQ(im.findTlsCallback(0x421), -1);
  // The menu's items as "id text", "-" marking a disabled one.
  auto items = [](const TTlsMenu& menu) {
    return textsOf(menu.items, [](const auto& item) {
      return std::to_string(item.id) + " " + item.text + (item.enabled ? "" : " -");
    });
  };
  TTlsMenu menu = buildTlsMenu(im);
  EXPECT_TRUE(menu.enabled);
  EXPECT_EQ(items(menu),
            (std::vector<std::string>{"145 Callback 1 (:00401010)", "146 Callback 2 (:00401020)",
                                      "147 Callback 3 -", "148 Callback 4 -", "149 More... -"}));

  auto six = tlsImage({0x401000, 0x401001, 0x401002, 0x401003, 0x401004, 0x9});
  EXPECT_EQ(six->image.tlsCallbackCount(), 6u);
  EXPECT_EQ(six->image.tlsCallbackOffset(5), NOT_IN_FILE);
  EXPECT_EQ(items(buildTlsMenu(six->image)),
            (std::vector<std::string>{"145 Callback 1 (:00401000)", "146 Callback 2 (:00401001)",
                                      "147 Callback 3 (:00401002)", "148 Callback 4 (:00401003)",
                                      "149 More..."}));

  EXPECT_FALSE(buildTlsMenu(tlsImage({0})->image).enabled);
  // At the end of the file: a last non-zero slot that is the file's last
  // dword is not counted, and the array must leave room for one more slot.
  EXPECT_EQ(tlsImage({0x401010, 0x401020}, 0x700 + 8)->image.tlsCallbackCount(), 1u);
  EXPECT_EQ(tlsImage({0x401010}, 0x700 + 4)->image.tlsCallbackCount(), 0u);
}

}  // namespace
