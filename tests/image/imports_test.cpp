// The import directory: reading, re-parsing, the tracer's own entries,
// lookups, and the imports dialog's lists.
#include <gtest/gtest.h>

#include <functional>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/import_list.h"
#include "support/import_shapes.h"
#include "support/parsed_image.h"
#include "support/pe_builder.h"
#include "support/texts_of.h"

namespace {

struct Descriptor {
  std::string module;
  std::vector<std::string> functions;  // "#1C" is an import by ordinal 0x1C
  bool originalThunks = true;          // false: OriginalFirstThunk is 0
};

constexpr uint32_t kIdata = 0x4000;

// Lays the descriptors out in an .idata section; returns the thunk RVAs per
// descriptor (the address table, FirstThunk) for slot lookups.
std::vector<uint32_t> layImports(TPeBuilder& b, const std::vector<Descriptor>& descs) {
  b.addSection(".text", 0x1000, 0x1000, 0x1000);
  b.addSection(".idata", kIdata, 0x2000, 0x2000, 0xC0000040);
  b.setDirectory(1, kIdata, 20 * uint32_t(descs.size() + 1));
  uint32_t at = kIdata + 20 * uint32_t(descs.size() + 1);
  std::vector<uint32_t> firstThunks;
  for (size_t d = 0; d < descs.size(); ++d) {
    const uint32_t desc = kIdata + 20 * uint32_t(d);
    b.putString(at, descs[d].module);
    b.put32(desc + 12, at);
    at += uint32_t(descs[d].module.size() + 4) & ~3u;
    std::vector<uint32_t> values;
    for (const auto& f : descs[d].functions) {
      if (f[0] == '#') {
        values.push_back(0x80000000u | uint32_t(std::stoul(f.substr(1), nullptr, 16)));
      } else {
        values.push_back(at);
        b.put16(at, 0);
        b.putString(at + 2, f);
        at += uint32_t(f.size() + 5) & ~1u;
      }
    }
    at = (at + 3) & ~3u;
    for (int table = 0; table < 2; ++table) {
      if (table == 0 && !descs[d].originalThunks) continue;
      b.put32(desc + (table == 0 ? 0 : 16), at);
      if (table == 1) firstThunks.push_back(at);
      for (uint32_t v : values) {
        b.put32(at, v);
        at += 4;
      }
      at += 4;  // terminating zero
    }
  }
  return firstThunks;
}

std::vector<std::string> functionNames(const TImageInfo& im) {
  return textsOf(im.imports().functions(), [](const auto& f) { return f.name; });
}

// "module function" of an import address slot or an import key, "none" when not found.
std::string slotText(const TImageInfo& im, uint32_t address, bool isKey = false,
                     size_t moduleRoom = 80) {
  char module[80], function[80];
  const bool found = isKey ? im.lookupImportKey(address, module, moduleRoom, function, 80)
                           : im.lookupImportSlot(address, module, 80, function, 80);
  return found ? std::string(module) + " " + function : "none";
}

TEST(Imports, ReadByNameAndOrdinalThroughEitherThunkList) {
  TPeBuilder b;
  auto slots = layImports(b, {{"USER32.dll", {"MessageBoxA", "#1C"}},
                              {"fixdll.dll", {"Named", "#2"}, false}});
  TParsedImage p(b.build());
  const TImageInfo& im = p.image;
  ASSERT_EQ(im.importsPresent(), 1u);
  EXPECT_EQ(wsString("%X %X", im.importDirectoryOffset(), im.importSectionEnd()), "1400 3400");
  EXPECT_EQ(textsOf(im.imports().modules(),
                    [](const auto& m) { return wsString("%X ", m.moduleId) + m.name; }),
            (std::vector<std::string>{"D0121000 USER32.dll", "D0122000 fixdll.dll"}));
  // Sorted by key: ordinals (top bit set) after the name RVAs.
  EXPECT_EQ(functionNames(im),
            (std::vector<std::string>{"MessageBoxA", "Named", "ORD: 0002", "ORD: 001C"}));
  EXPECT_NE(im.imports().functionByKey(0x8000001C), nullptr);

  EXPECT_EQ(slotText(im, 0x400000 + slots[1]), "fixdll.dll Named");
  EXPECT_EQ(slotText(im, 0x8000001C, true, 7), "USER32 ORD: 001C");  // cut to the capacity
  EXPECT_EQ(slotText(im, 0x12345678, true), "none");
}

TEST(Imports, LongNamesAndBrokenEntries) {
  TPeBuilder b;
  const std::string longName(100, 'a');
  layImports(b, {{longName + ".dll", {longName}}});
  TParsedImage p(b.build());
  ASSERT_EQ(p.image.imports().modules().size(), 1u);
  EXPECT_EQ(p.image.imports().modules()[0].name, std::string(80, 'a'));
  EXPECT_EQ(p.image.imports().functions()[0].name, std::string(80, 'a'));

  // A thunk whose name RVA is not in the file.
  TPeBuilder bad;
  layImports(bad, {{"A.dll", {"x"}}});
  std::vector<uint8_t> f = bad.build();
  TParsedImage q(f);
  const uint32_t thunkOffset =
      q.image.rvaToFileOffset(readLe32(q.bytes() + q.image.importDirectoryOffset()), true);
  q.patch32(thunkOffset, 0x00090000);
  ASSERT_EQ(q.image.imports().functions().size(), 1u);
  EXPECT_EQ(q.image.imports().functions()[0].name, "Illegal function name address: 00090000");
}

TEST(Imports, DescriptorWalkStopsAtTheSectionEnd) {
  // The directory sits at the very end of its section: no descriptor fits.
  TPeBuilder b;
  b.addSection(".idata", 0x4000, 0x1000, 0x200);
  b.setDirectory(1, 0x4000 + 0x200 - 20, 20);
  b.putString(0x4000, "X.dll");
  b.put32(0x4000 + 0x200 - 20 + 12, 0x4000);
  TParsedImage p(b.build());
  EXPECT_EQ(p.image.importsPresent(), 1u);            // 20 bytes fit in the file
  EXPECT_EQ(p.image.imports().modules().size(), 1u);  // offset + 19 < end: this one is read

  // A section that claims more raw data than the file holds: thunks are read
  // up to the end of the file and no further.
  TPeBuilder c;
  c.addSection(".idata", 0x4000, 0x1000, 0x200);
  c.setDirectory(1, 0x4000, 20);
  c.putString(0x4100, "Y.dll");
  c.put32(0x4000 + 12, 0x4100);
  c.put32(0x4000 + 16, 0x4180);
  for (uint32_t a = 0x4180; a < 0x4200; a += 4) c.put32(a, 0x80000001);
  std::vector<uint8_t> f = c.build();
  writeLe32(&f[0x80 + 0x78 + 8 * 16 + 16], 0x7FFFFFFF);  // SizeOfRawData
  TParsedImage q(f);
  EXPECT_EQ(q.image.importSectionEnd(), 0x400u + 0x7FFFFFFFu);
  EXPECT_EQ(q.image.imports().modules().size(), 1u);
  EXPECT_EQ(q.image.imports().functions().size(), 32u);
}

TEST(Imports, TracerEntriesSurviveReparseAndCountersNeverRestart) {
  TPeBuilder b;
  auto slots = layImports(b, {{"USER32.dll", {"MessageBoxA"}}});
  TParsedImage p(b.build());
  TImageInfo& im = p.image;
  const uint32_t k32 = im.findOrAddModule("kernel32.dll", 1);
  EXPECT_EQ(k32, 0xD0122000u);
  EXPECT_EQ(im.findOrAddFunction(k32, "GetTickCount"), 0x0B017384u);
  EXPECT_EQ(im.findOrAddFunction(k32, "Sleep"), 0x0B017397u);
  EXPECT_EQ(im.findOrAddFunction(k32, "Sleep"), 0x0B017397u);  // found again
  EXPECT_EQ(im.findOrAddFunction(k32, "MessageBoxA"), im.imports().functions()[0].importKey);
  EXPECT_EQ(im.findOrAddFunction(0x12345000, "Nope"), 0u);  // unknown module
  // The tracer used USER32 too: it is kept from now on.
  const uint32_t user32 = im.imports().modules()[0].moduleId;
  EXPECT_NE(im.findOrAddFunction(user32, "wsprintfA"), 0u);

  p.reparse();
  EXPECT_EQ(textsOf(im.imports().modules(), [](const auto& m) { return m.name; }),
            (std::vector<std::string>{"USER32.dll", "kernel32.dll"}));
  EXPECT_EQ(functionNames(im),
            (std::vector<std::string>{"MessageBoxA", "GetTickCount", "Sleep", "wsprintfA"}));
  EXPECT_EQ(im.findOrAddModule("ADVAPI32.dll", 1), 0xD0123000u);

  // A patched slot is looked up by its new content.
  EXPECT_EQ(slotText(im, 0x400000 + slots[0]), "USER32.dll MessageBoxA");
  p.patch32(im.rvaToFileOffset(slots[0], true), 0x11111111);
  EXPECT_EQ(slotText(im, 0x400000 + slots[0]), "none");
}

// Directories whose thunk lists share slots: the parse, the dialog's lists
// and a re-parse all take what the allowance of thunk_allowance.h gives.
TEST(ImportShapes, SharedAndHostileDirectories) {
  struct Case {
    const char* name;
    std::function<std::vector<uint8_t>()> build;
    size_t modules;
    std::function<size_t(uint32_t fileSize)> functions;  // in TImageInfo's list
    std::vector<size_t> listed;  // dialog, original structure: entries 0, 1 and the last
    std::function<void(TParsedImage&)> more = nullptr;  // further checks on the parsed image
  };
  constexpr uint32_t kMany = 50000;
  const Case cases[] = {
      {"three descriptors share one lookup table",
       [] {
         TPeBuilder b;
         auto firstThunks =
             layImports(b, {{"A.dll", {"f", "g", "#3"}}, {"B.dll", {"h"}}, {"C.dll", {"i"}}});
         const uint32_t lookup = firstThunks[0] -
                                 4 * 4;  // A's lookup table lies before its address table
         b.put32(kIdata + 20, lookup);
         b.put32(kIdata + 40, lookup);
         return b.build();
       },
       3,
       [](uint32_t) { return size_t(9); },
       {3, 3, 3}},
      // Descriptor 0 lists the whole table (5 dwords each, 3 of the
      // terminator), descriptor 1 what is left, every later one its first.
      {"50000 descriptors whose lists run through the table",
       [] { return buildOverlappingDescriptors(kMany); },
       kMany,
       [](uint32_t size) { return size_t(size / 4 + kMany); },
       {5 * kMany + 3, 0, 1}},
      {"100000 imports by name",
       [] { return buildManyImports(100, 1000); },
       100,
       [](uint32_t) { return size_t(100000); },
       {1000, 1000, 1000},
       [](TParsedImage& p) {
         TImageInfo& im = p.image;
         const uint32_t lastAddressTable =
             readLe32(p.bytes() + im.importDirectoryOffset() + 20 * 99 + 16);
         EXPECT_EQ(slotText(im, 0x400000 + lastAddressTable + 4 * 999), "mod00099.dll F0099999");
         // The tracer asking for a function the file imports gets the file's key.
         const uint32_t k32 = im.findOrAddModule("kernel32.dll", 1);
         const uint32_t key = im.findOrAddFunction(k32, "F0050000");
         ASSERT_NE(im.imports().functionByKey(key), nullptr);
         EXPECT_EQ(im.imports().functionByKey(key)->fromFile, 1u);
         EXPECT_EQ(im.findOrAddFunction(k32, "GetTickCount"), TImportLists::kFirstFunctionKey);
         EXPECT_EQ(im.imports().functions().size(), 100001u);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TParsedImage p(c.build());
    const uint32_t size = p.image.fileSize();
    const TImportLists& lists = p.image.imports();
    EXPECT_EQ(lists.modules().size(), c.modules);
    EXPECT_EQ(lists.functions().size(), c.functions(size));

    // A re-parse gives the same lists under new module ids.
    const uint32_t nextId = lists.nextModuleId();
    p.reparse();
    EXPECT_EQ(lists.modules().size(), c.modules);
    EXPECT_EQ(lists.functions().size(), c.functions(size));
    EXPECT_EQ(lists.modules().front().moduleId, nextId);

    TImportListModel model;
    ASSERT_TRUE(model.build(p.image, true));
    ASSERT_EQ(model.modules().size(), c.modules);
    std::vector<size_t> listed = c.listed;
    if (listed[1] == 0) listed[1] = size / 4 + 2 - listed[0];  // the rest of the allowance
    EXPECT_EQ((std::vector{model.functions(p.image, 0).size(), model.functions(p.image, 1).size(),
                           model.functions(p.image, c.modules - 1).size()}),
              listed);
    ASSERT_TRUE(model.build(p.image, false));
    EXPECT_EQ(model.modules().size(), c.modules);  // every name differs
    if (c.more) c.more(p);
  }
}

TEST(ImportList, OriginalStructureAndChaining) {
  TPeBuilder b;
  layImports(b, {{"KERNEL32.dll", {"Sleep", "#1C"}},
                 {"USER32.dll", {"MessageBoxA"}},
                 {"kernel32.dll", {"ExitProcess"}, false},
                 {"kernel32.dll", {"#1C"}}});
  TParsedImage p(b.build());
  // The image's lists compare names exactly: a repeated name shares its module,
  // the same ordinal of two modules is two functions and a key finds the first.
  EXPECT_EQ(p.image.imports().modules().size(), 3u);
  EXPECT_EQ(p.image.imports().functions().size(), 5u);
  EXPECT_EQ(slotText(p.image, 0x8000001C, true), "KERNEL32.dll ORD: 001C");
  TImportListModel model;
  ASSERT_TRUE(model.build(p.image, true));
  ASSERT_EQ(model.modules().size(), 4u);
  EXPECT_EQ(model.modules()[2].name, "kernel32.dll");
  EXPECT_EQ(textsOf(model.functions(p.image, 0),
                    [](const auto& f) { return wsString("%X ", f.data) + f.text; }),
            (std::vector<std::string>{"1476 Sleep", "8000001C OZ: 001C"}));

  ASSERT_TRUE(model.build(p.image, false));
  // The two kernel32 spellings share one entry.
  EXPECT_EQ(textsOf(model.modules(), [](const auto& m) { return m.name; }),
            (std::vector<std::string>{"KERNEL32.dll", "USER32.dll"}));
  EXPECT_EQ(textsOf(model.functions(p.image, 0), [](const auto& f) { return f.text; }),
            (std::vector<std::string>{"ExitProcess", "OZ: 001C", "OZ: 001C", "Sleep"}));
}

TEST(ImportList, ErrorLines) {
  TPeBuilder b;
  layImports(b, {{"A.dll", {"f"}}, {"B.dll", {"g"}, false}});
  TParsedImage p(b.build());
  const uint32_t d = p.image.importDirectoryOffset();
  p.patch32(d, 0x00090000);            // A's name list not in the file
  p.patch32(d + 20 + 16, 0x00090000);  // B's address list not in the file
  TImportListModel model;
  ASSERT_TRUE(model.build(p.image, true));
  EXPECT_EQ(model.functions(p.image, 0)[0].text, "<Funcnamelist address error>");
  EXPECT_EQ(model.functions(p.image, 1)[0].text, "<Funcaddrlist address error>");

  TPeBuilder none;
  none.addSection(".text", 0x1000, 0x1000, 0x200);
  none.setDirectory(1, 0x9000, 20);
  TParsedImage q(none.build());
  EXPECT_FALSE(model.build(q.image, true));
}

}  // namespace
