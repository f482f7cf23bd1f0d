// Header parsing and the address conversions on builder-made images.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/image_info.h"
#include "image/raw_convert.h"
#include "support/parsed_image.h"
#include "support/pe_builder.h"
#include "support/recording_host.h"

namespace {

// Two sections: .text with a virtual size larger than its raw data
// (an uninitialised tail), .data with raw data longer than its virtual size.
TPeBuilder twoSections() {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x1800, 0x1000);  // raw 0x400..0x13FF, RVA tail 0x2000..0x27FF
  b.addSection(".data", 0x3000, 0x100, 0x200);    // raw 0x1400..0x15FF
  return b;
}

TEST(ParseImage, NonExecutableFilesAreRawBytesWithAllSpacesEqual) {
  for (size_t size : {0u, 1u, 63u}) {
    std::vector<uint8_t> bytes(size, 0);
    if (size >= 2) bytes[0] = 'M', bytes[1] = 'Z';
    TParsedImage p(bytes);
    EXPECT_EQ(p.image.isMZ(), 0u) << size;
    EXPECT_EQ(p.image.isPE(), 0u) << size;
    EXPECT_EQ(p.image.imageBase(), 0u);
    EXPECT_EQ(p.image.entryOffset(), NOT_IN_FILE);
    for (uint32_t o = 0; o < size; ++o)
      EXPECT_EQ((std::array{p.image.fileOffsetToRva(o), p.image.fileOffsetToMemory(o),
                            p.image.rvaToFileOffset(o, true), p.image.memoryToFileOffset(o)}),
                (std::array{o, o, o, o}));
    EXPECT_EQ(p.image.fileOffsetToRva(uint32_t(size)), NOT_IN_FILE);
  }
}

TEST(ParseImage, DosProgramEntryAndImageBase) {
  struct Case {
    uint16_t paragraphs, cs, ip;
    uint32_t size;
    uint32_t isMZ, entry, entryMem, base;
  } cases[] = {
      {2, 0x0010, 0x0100, 0x300, 1, 0x220, 0x200, 0xFFFFFFE0},
      {2, 0x0010, 0x0100, 0x221, 1, 0x220, 0x200, 0xFFFFFFE0},    // entry is the last byte
      {2, 0x0010, 0x0100, 0x220, 0, NOT_IN_FILE, 0xFFFFFFFF, 0},  // entry just past the end
      {0x40, 0, 0, 0x400, 0, NOT_IN_FILE, 0xFFFFFFFF, 0},         // header as long as the file
      {4, 0xFFFF, 0xFFFF, 0x200, 0, NOT_IN_FILE, 0xFFFFFFFF, 0},  // no segment wrap
  };
  for (const auto& c : cases) {
    TParsedImage p(buildMz(c.paragraphs, c.cs, c.ip, c.size));
    SCOPED_TRACE(c.size);
    EXPECT_EQ(p.image.isMZ(), c.isMZ);
    EXPECT_EQ(p.image.isPE(), 0u);
    EXPECT_EQ(p.image.entryOffset(), c.entry);
    EXPECT_EQ(p.image.mzEntryOffset(), c.entry);
    EXPECT_EQ(p.image.entryMemoryAddress(), c.entryMem);
    EXPECT_EQ(p.image.imageBase(), c.base);
    if (c.isMZ) {
      EXPECT_EQ(p.image.fileOffsetToMemory(c.entry), c.entryMem);
      EXPECT_EQ(p.image.memoryToFileOffset(c.entryMem), c.entry);
    }
  }
}

TEST(ParseImage, PeSignatureAndHeaderBounds) {
  struct Case {
    const char* what;
    uint32_t peOffset;
    size_t cutTo;  // 0: keep the whole file
    bool corruptSignature;
    uint32_t isPE;
  } cases[] = {
      {"standard", 0x80, 0, false, 1},
      {"e_lfanew zero", 0, 0, false, 0},
      {"e_lfanew past the end", 0x7FFFFFF0, 0, false, 0},
      {"e_lfanew wraps 32 bits", 0xFFFFFFA0, 0, false, 0},
      {"p + 0x8C is the file size", 0x80, 0x80 + 0x8C, false, 0},
      {"p + 0x8C is the last byte", 0x80, 0x80 + 0x8D, false, 1},
      {"wrong signature", 0x80, 0, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPeBuilder b;
    b.directoryCount = 0;
    std::vector<uint8_t> f = b.build();  // the headers at 0x80
    writeLe32(&f[0x3C], c.peOffset);
    if (c.corruptSignature) f[c.peOffset + 1] = 'X';
    if (c.cutTo) f.resize(c.cutTo);
    TParsedImage p(f);
    EXPECT_EQ(p.image.isPE(), c.isPE);
    EXPECT_EQ(p.image.isMZ(), 1u);  // the DOS part stands either way
  }
}

TEST(ParseImage, SectionTableCountAndCuts) {
  // 300 sections: only the low byte of the count is used.
  TPeBuilder many;
  for (int i = 0; i < 300; ++i) many.addSection(".s", 0x1000 + 0x1000 * i, 0x100, 0x200);
  EXPECT_EQ(TParsedImage(many.build()).image.sectionCount(), 44u);

  // A table cut by the end of the file keeps the whole headers present.
  TPeBuilder cut;
  cut.headerSize = 0;
  for (int i = 0; i < 5; ++i) cut.addSection(".s", 0x1000 * (i + 1), 0x100, 0);
  std::vector<uint8_t> f = cut.build();
  const uint32_t table = 0x80 + 0x78 + 8 * 16;
  f.resize(table + 3 * 40 + 39);
  TParsedImage p(f);
  EXPECT_EQ(p.image.sectionCount(), 3u);
  EXPECT_EQ(p.image.isPE(), 1u);
  EXPECT_EQ(p.image.getSection(2)->rva, 0x3000u);

  // A huge NumberOfRvaAndSizes moves the table out of the file.
  TPeBuilder far;
  far.directoryCount = 0x20000000;
  far.addSection(".text", 0x1000, 0x100, 0x200);
  TParsedImage q(far.build());
  EXPECT_EQ(q.image.isPE(), 1u);
  EXPECT_EQ(q.image.sectionCount(), 0u);
  EXPECT_EQ(q.image.directoryCount(), 0x20000000u);
}

// Summary fields, a section without raw data, a bad section number and an
// entry point past the raw data, on one two-section image.
TEST(ParseImage, SectionSummaryAndEntryPoint) {
  TPeBuilder b = twoSections();
  b.addSection(".bss", 0x4000, 0x1000, 0).rawOffset = 0;  // must not shrink the header region
  b.entryRva = 0x2100;  // inside .text's virtual size, past its raw data
  TParsedImage p(b.build());
  auto summary = [](const TImageInfo& im) {
    return wsString("%X %X %X", im.lowestRawOffset(), im.lowestSectionRva(),
                    im.highestSectionEnd());
  };
  EXPECT_EQ(summary(p.image), "400 1000 5000");
  EXPECT_STREQ(p.image.getSection(1)->name, ".data");
  EXPECT_EQ(p.image.rvaToFileOffset(0x80, true), 0x80u);
  EXPECT_EQ(p.image.fileOffsetToMemory(0x80), 0x400080u);
  EXPECT_EQ(p.image.isPE(), 1u);
  EXPECT_EQ(p.image.entryOffset(), 0x40u);  // the DOS stub's entry
  EXPECT_EQ(p.image.entryMemoryAddress(), 0u);
  RecordingHost host;
  p.image.setHost(&host);
  EXPECT_EQ(p.image.getSection(3), nullptr);
  EXPECT_EQ(host.messageLines(),
            std::vector<std::string>{"TImageInfo::getSection(): Bad section number!"});

  b.entryRva = 0x1010;
  TParsedImage q(b.build());
  EXPECT_EQ(q.image.entryOffset(), 0x410u);
  EXPECT_EQ(q.image.entryMemoryAddress(), 0x401010u);
  EXPECT_EQ(q.image.imageBase(), 0x400000u);
  EXPECT_EQ(summary(TParsedImage(TPeBuilder().build()).image), "FFFFFFFF FFFFFFFF 0");
}

TEST(Conversions, RvaAndFileOffset) {
  TPeBuilder b = twoSections();
  b.addSection(".ovl", 0x1100, 0x100, 0x100);  // overlaps .text in RVA, has its own raw data
  b.addSection(".bss", 0x5000, 0x1000, 0);     // no raw data at all
  TParsedImage p(b.build());
  const TImageInfo& im = p.image;
  struct Case {
    uint32_t rva;
    uint32_t withHeader, withoutHeader;
  } rvaCases[] = {
      {0x1000, 0x400, 0x400},
      {0x1150, 0x550, 0x550},  // first section in the table wins
      {0x1FFF, 0x13FF, 0x13FF},
      {0x2000, NOT_IN_FILE, NOT_IN_FILE},  // uninitialised tail
      {0x30FF, 0x14FF, 0x14FF},
      {0x3100, NOT_IN_FILE, NOT_IN_FILE},  // past the virtual size
      {0x5000, NOT_IN_FILE, NOT_IN_FILE},  // section without raw data
      {0x0100, 0x100, NOT_IN_FILE},        // header region
      {0x03FF, 0x3FF, NOT_IN_FILE},
      {0x0400, NOT_IN_FILE, NOT_IN_FILE},  // not below the lowest raw offset
  };
  for (const auto& c : rvaCases) {
    EXPECT_EQ(im.rvaToFileOffset(c.rva, true), c.withHeader) << std::hex << c.rva;
    EXPECT_EQ(im.rvaToFileOffset(c.rva, false), c.withoutHeader) << std::hex << c.rva;
  }
  struct OffsetCase {
    uint32_t offset, rva;
  } offsetCases[] = {
      {0x400, 0x1000},  {0x13FF, 0x1FFF},
      {0x1400, 0x3000}, {0x15FF, 0x31FF},  // past .data's virtual size: still converts
      {0x3FF, 0x3FF},   {0x1800, NOT_IN_FILE},
  };
  for (const auto& c : offsetCases) {
    EXPECT_EQ(im.fileOffsetToRva(c.offset), c.rva) << std::hex << c.offset;
    EXPECT_EQ(im.fileOffsetToMemory(c.offset), c.rva == NOT_IN_FILE ? NOT_IN_FILE : c.rva + 0x400000)
        << std::hex << c.offset;
  }
  EXPECT_EQ(im.memoryToFileOffset(0x401000), 0x400u);
  EXPECT_EQ(im.memoryToFileOffset(0x1000), NOT_IN_FILE);  // wraps below the base

  // The same on the raw buffer. Header RVA: returned as is; outputs get ImageBase and the
  // first raw offset.
  uint8_t* f = p.bytes();
  const uint32_t size = im.fileSize();
  uint32_t secRva = 0, secSize = 0;
  EXPECT_EQ(rawRvaToFileOffset(0x200, f, size, &secRva, &secSize), 0x200u);
  EXPECT_EQ(std::make_pair(secRva, secSize), std::make_pair(0x400000u, 0x400u));
  // Sections are bounded by their raw size here: .data's raw tail converts.
  EXPECT_EQ(rawRvaToFileOffset(0x31FF, f, size, &secRva, &secSize), 0x15FFu);
  EXPECT_EQ(secRva, 0x3000u);
  EXPECT_EQ(rawRvaToFileOffset(0x2000, f, size), 0xFFFFFFFFu);  // past .text's raw size
  EXPECT_EQ(rawRvaToFileOffset(0x1000, f, 511), 0xFFFFFFFFu);   // too small a buffer

  uint32_t rawOff = 7;
  EXPECT_EQ(rawFileOffsetToMemory(0x410, f, size, &secRva, &rawOff), 0x401010u);
  EXPECT_EQ(rawOff, 0x400u);
  // Outside every section, even past the end of the file: shown as header.
  EXPECT_EQ(rawFileOffsetToMemory(0x9000, f, size, &secRva, &rawOff), 0x409000u);
  EXPECT_EQ(std::make_pair(secRva, rawOff), std::make_pair(0u, 0u));
  EXPECT_EQ(rawFileOffsetToMemory(0x410, f, 511, &secRva), 0u);

  // The full 16-bit section count is used, and a table running off the buffer fails.
  writeLe16(&f[0x80 + 6], 0xFFFF);
  EXPECT_EQ(rawRvaToFileOffset(0x9000, f, size), 0xFFFFFFFFu);
  EXPECT_EQ(rawFileOffsetToMemory(0x9000, f, size), 0u);
}

// Random section tables, with overlaps, empty and 32-bit-wrapping ranges and
// tables cut by the file's end: the indexed lookups find what a walk of the
// table finds, optional outputs included, and follow a change of the headers.
TEST(Conversions, IndexedLookupsEqualTheTableWalk) {
  struct Shape {
    uint32_t headers;    // written into the table
    uint32_t count;      // NumberOfSections
    uint32_t spread;     // RVAs, raw offsets and sizes below this (0: any value)
    uint32_t cutHeader;  // the file ends inside this header (0: after the data)
  } shapes[] = {
      {0, 0, 0x4000, 0},       {1, 1, 0x4000, 0},        {6, 6, 0x800, 0},
      {40, 40, 0x4000, 0},     {40, 40, 0, 0},           {200, 255, 0x1000, 0},
      {300, 300, 0x10000, 0},  {3000, 3000, 0x80000, 0}, {3000, 65535, 0x80000, 0},
      {500, 500, 0x8000, 321}, {2, 2, 0x4000, 1},
  };
  std::mt19937 rng(16);
  const uint32_t table = 0x80 + 0x78 + 8 * 16;
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.headers);
    auto any = [&](uint32_t below) { return below ? uint32_t(rng() % below) : uint32_t(rng()); };
    TPeBuilder b;
    b.headerSize = std::max<uint32_t>(0x400, table + 40 * shape.headers + 0x2000);
    std::vector<uint8_t> f = b.build();
    writeLe16(&f[0x80 + 6], uint16_t(shape.count));
    std::vector<uint32_t> probes = {0, 1, 0x3FF, 0x7FFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF};
    for (uint32_t i = 0; i < shape.headers; ++i) {
      uint8_t* h = &f[table + 40 * i];
      const uint32_t kind = rng() % 8;  // empty ranges and exact repeats now and then
      const uint32_t rva = kind == 0 ? readLe32(h - 40 + 12) : any(shape.spread);
      writeLe32(h + 8, kind == 1 ? 0 : any(shape.spread));   // VirtualSize
      writeLe32(h + 12, i ? rva : any(shape.spread));        // VirtualAddress
      writeLe32(h + 16, kind == 2 ? 0 : any(shape.spread));  // SizeOfRawData
      writeLe32(h + 20, any(shape.spread));                  // PointerToRawData
      for (uint32_t at : {8u, 12u, 16u, 20u}) probes.push_back(readLe32(h + at));
      probes.push_back(readLe32(h + 12) + readLe32(h + 8));
      probes.push_back(readLe32(h + 12) + readLe32(h + 16));
      probes.push_back(readLe32(h + 20) + readLe32(h + 16));
    }
    if (shape.cutHeader) f.resize(table + 40 * shape.cutHeader + rng() % 40);
    for (int k = 0; k < 2000; ++k) probes.push_back(any(shape.spread ? 2 * shape.spread : 0));
    for (size_t k = 0, n = probes.size(); k < n; ++k) probes.push_back(probes[k] - 1);

    TParsedImage p(f);
    const uint32_t size = uint32_t(f.size());
    const std::vector<SectionInfo>& sections = p.image.sections();
    auto walk = [&](auto holds) -> const SectionInfo* {
      for (const SectionInfo& s : sections)
        if (holds(s)) return &s;
      return nullptr;
    };
    auto compare = [&](const TRawSectionTable& indexed) {
      for (uint32_t v : probes) {
        SCOPED_TRACE(v);
        ASSERT_EQ(p.image.sectionByRva(v),
                  walk([&](const SectionInfo& s) { return s.containsRva(v); }));
        ASSERT_EQ(p.image.sectionByFileOffset(v),
                  walk([&](const SectionInfo& s) { return s.containsFileOffset(v); }));
        uint64_t stretchEnd = 0;  // the same answer up to its last offset
        const SectionInfo* held = p.image.sectionByFileOffset(v, &stretchEnd);
        ASSERT_GT(stretchEnd, v);
        ASSERT_EQ(p.image.sectionByFileOffset(
                      uint32_t(std::min<uint64_t>(stretchEnd - 1, 0xFFFFFFFFu))),
                  held);
        std::array<uint32_t, 2> walked = {7, 7}, looked = {7, 7};  // untouched outputs stay 7
        ASSERT_EQ(indexed.rvaToFileOffset(v, &looked[0], &looked[1]),
                  rawRvaToFileOffset(v, p.bytes(), size, &walked[0], &walked[1]));
        ASSERT_EQ(looked, walked);
        walked[1] = looked[1] = 7;
        ASSERT_EQ(indexed.fileOffsetToMemory(v, &looked[0], &looked[1]),
                  rawFileOffsetToMemory(v, p.bytes(), size, &walked[0], &walked[1]));
        ASSERT_EQ(looked, walked);
      }
    };
    ASSERT_EQ(p.image.rawSectionsOf(p.bytes(), size), &p.image.rawSections());
    compare(p.image.rawSections());
    // Traced code rewrites a header without a parse.
    if (shape.headers > 1 && !shape.cutHeader) {
      writeLe32(p.bytes() + table + 40 * (shape.headers / 2) + 20, any(shape.spread));
      writeLe32(p.bytes() + table + 40 * (shape.headers - 1) + 16, any(shape.spread));
      EXPECT_FALSE(p.image.rawSections().matches(p.bytes(), size));
      p.image.rereadRawSections();
      EXPECT_TRUE(p.image.rawSections().matches(p.bytes(), size));
      compare(p.image.rawSections());
    }
  }
}

TEST(ParseImage, ResourcePresence) {
  struct Case {
    std::vector<uint32_t> types;
    uint32_t dataOffset;
    uint32_t menus, strings;
  } cases[] = {
      {{4, 6}, 0x20, 1, 1},    {{3, 6}, 0x20, 0, 1},
      {{4}, 0x7FFFFFF0, 0, 0},  // entry data outside the file
      {{4}, 0x80000020, 1, 0},  // top bit marks a subdirectory
      {{}, 0x20, 0, 0},
  };
  for (const auto& c : cases) {
    TPeBuilder b = twoSections();
    b.setDirectory(2, 0x3000, 0x100);
    b.put16(0x3000 + 14, uint16_t(c.types.size()));
    for (size_t k = 0; k < c.types.size(); ++k) {
      b.put32(0x3010 + 8 * uint32_t(k), c.types[k]);
      b.put32(0x3014 + 8 * uint32_t(k), c.dataOffset);
    }
    TParsedImage p(b.build());
    EXPECT_EQ(p.image.menusPresent(), c.menus);
    EXPECT_EQ(p.image.stringsPresent(), c.strings);
  }
}

TEST(ParseImage, DirectoriesInHeadersOrPastTheFileAreAbsent) {
  TPeBuilder b = twoSections();
  b.setDirectory(0, 0x100, 40);  // export directory in the headers
  b.setDirectory(1, 0x200, 40);  // import directory in the headers
  b.setDirectory(5, 0x9000, 8);
  TParsedImage p(b.build());
  EXPECT_EQ(p.image.exportsPresent(), 0u);
  EXPECT_EQ(p.image.importsPresent(), 0u);
  EXPECT_EQ(p.image.relocationTable(), nullptr);

  // Fewer directories than the index: not looked at.
  TPeBuilder few = twoSections();
  few.directoryCount = 1;
  few.setDirectory(0, 0x3000, 40);
  EXPECT_EQ(TParsedImage(few.build()).image.exportsPresent(), 1u);
}

}  // namespace
