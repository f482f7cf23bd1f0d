// The image properties model: fields and sections read from the buffer,
// flags written back through undoable changes, the section jump, and the
// refresh that follows the document's changes.
#include "document/image_props.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/le_read.h"
#include "base/text_format.h"
#include "document/document.h"
#include "support/bytes_document.h"
#include "support/fixtures.h"
#include "support/pe_builder.h"
#include "support/recording_host.h"

namespace {

// A document loaded from a fixture or from built bytes, its image
// properties open.
struct TLoaded : TBytesDocument {
  TImagePropsModel m{doc};
  explicit TLoaded(const std::string& fixture)
      : TBytesDocument(readFile(fixturePath(fixture)), fixture) {
    m.open();
  }
  explicit TLoaded(const std::vector<uint8_t>& bytes) : TBytesDocument(bytes) { m.open(); }
  uint32_t dword(uint32_t offset) const { return readLe32(doc.buffer() + offset); }
};

// Which of the six boxes are checked, as Characteristics bits.
uint32_t checkedBits(const TImagePropsModel& m) {
  uint32_t bits = 0;
  for (const auto& box : kImageFlagBoxes)
    if (m.checked(box.control)) bits |= box.bit;
  return bits;
}

// The texts of the fields `first` to `last`, joined by "|".
std::string fields(const TImagePropsModel& m, int first, int last) {
  std::string out = m.fieldText(first);
  for (int id = first + 1; id <= last; ++id) out += "|" + m.fieldText(id);
  return out;
}

// Three sections, the first with a name of all eight bytes; the table starts at 0x178.
TPeBuilder threeSections() {
  TPeBuilder b;
  b.addSection(".textbss", 0x1000, 0x100, 0x200, 0x60000020);
  b.addSection(".data", 0x2000, 0x80, 0x200, 0xC0000040);
  b.addSection(".reloc", 0x3000, 0x10, 0x200, 0x42000040);
  return b;
}

TEST(ImageProps, ApplyWritesOnlyChangedFlagBitsAsOneUndoableChange) {
  std::vector<std::pair<int, bool>> allOff;
  for (const auto& box : kImageFlagBoxes) allOff.emplace_back(box.control, false);
  struct Case {
    const char* what;
    uint32_t before;
    std::vector<std::pair<int, bool>> clicks;
    uint32_t after;  // == before: nothing may be written
  } cases[] = {
      {"no change", 0x42000040, {}, 0x42000040},
      {"Readable off", 0x42000040, {{IPC_FLAG_READABLE, false}}, 0x02000040},
      {"Writeable on", 0x60000020, {{IPC_FLAG_WRITEABLE, true}}, 0xE0000020},
      {"Uninitialised data on", 0xC0000040, {{IPC_FLAG_UNINIT_DATA, true}}, 0xC00000C0},
      {"on and off again",
       0x60000020,
       {{IPC_FLAG_WRITEABLE, true}, {IPC_FLAG_WRITEABLE, false}},
       0x60000020},
      {"checked box checked", 0x60000020, {{IPC_FLAG_CODE, true}}, 0x60000020},
      {"all off", 0xFFFFFFFF, allOff, 0x1FFFFF1F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPeBuilder b;
    b.addSection(".a", 0x1000, 0x10, 0x200, 0x60000020);
    b.addSection(".b", 0x2000, 0x10, 0x200, c.before);
    TLoaded l(b.build());
    const uint32_t at = 0x178 + 40 + 36;
    TImagePropsModel& m = l.m;
    m.chooseSection(1);
    for (auto [control, on] : c.clicks) m.setChecked(control, on);
    const bool changes = c.after != c.before;
    EXPECT_EQ(m.apply(), changes);
    EXPECT_EQ(l.dword(at), c.after);
    EXPECT_EQ(l.doc.fileChanged(), changes);
    EXPECT_EQ(l.doc.undoRecord().undoPosition(), changes ? 4 : 0);
    // The refresh that follows the write shows the new dword on the same section.
    EXPECT_EQ(m.selection(), 1);
    EXPECT_EQ(m.rememberedCharacteristics(), c.after);
    EXPECT_EQ(checkedBits(m), c.after & kImageFlagMask);
    EXPECT_EQ(l.doc.image().sections()[1].characteristics, c.after);  // re-parsed
    if (!changes) continue;
    // One byte per undo step: only the fourth brings the old dword back.
    for (int step = 0; step < 4; ++step) {
      EXPECT_TRUE(l.doc.fileChanged()) << step;
      l.doc.undo();
      EXPECT_EQ(m.rememberedCharacteristics(), l.dword(at)) << step;
    }
    EXPECT_EQ(l.dword(at), c.before);
    EXPECT_EQ(checkedBits(m), c.before & kImageFlagMask);
    EXPECT_EQ(m.selection(), 1);
    EXPECT_FALSE(l.doc.fileChanged());
    for (int step = 0; step < 4; ++step) l.doc.redo();
    EXPECT_EQ(m.rememberedCharacteristics(), c.after);
    EXPECT_TRUE(l.host.messages.empty());
  }
}

TEST(ImageProps, CutSectionTable) {
  // The table starts at 0x178; cut the file inside the second header, so
  // the third header starts past the end.
  std::vector<uint8_t> bytes = threeSections().build();
  bytes.resize(0x178 + 40 + 39);  // header 1 lacks its last byte
  TLoaded l(bytes);
  TImagePropsModel& m = l.m;
  ASSERT_EQ(m.sections().size(), 2u);
  EXPECT_EQ(m.sections()[0].name + "|" + m.sections()[1].name, ".textbss|.data");
  EXPECT_EQ(m.fieldText(IPC_NUM_SECTIONS), "3");
  EXPECT_TRUE(m.sectionShown());
  EXPECT_EQ(checkedBits(m), 0x60000020u);
  m.setChecked(IPC_FLAG_WRITEABLE, true);

  m.chooseSection(1);
  EXPECT_FALSE(m.sectionShown());
  EXPECT_EQ(fields(m, IPC_VIRTUAL_SIZE, IPC_RAW_OFFSET), "Invalid|section|data !|");
  // The boxes and the remembered dword stay as they were.
  EXPECT_EQ(checkedBits(m), 0xE0000020u);
  EXPECT_EQ(m.rememberedCharacteristics(), 0x60000020u);
  // Neither button acts on a header that is not wholly in the file.
  EXPECT_FALSE(m.apply());
  EXPECT_FALSE(m.gotoSection());
  EXPECT_EQ(l.doc.history().count(), 0u);
  EXPECT_FALSE(l.doc.undoAvailable());
  EXPECT_TRUE(l.host.messages.empty());

  m.chooseSection(7);  // no such entry: nothing happens
  EXPECT_EQ(m.selection(), 1);
  m.chooseSection(0);
  EXPECT_EQ(fields(m, IPC_VIRTUAL_SIZE, IPC_RAW_OFFSET), "100|1000|200|400");
}

TEST(ImageProps, HeaderWalkLimits) {
  struct Case {
    const char* what;
    uint32_t directoryCount;
    int numberOfSections;
    std::string countText;
  } cases[] = {
      // 8 x count would wrap to 0 in 32 bits and put the table right after the optional header.
      {"directory count wraps in 32 bits", 0x20000000, -1, "3"},
      {"table past the end", 0x1000, -1, "3"},
      {"count above the table", 16, 0xFFFF, "65535"},  // listed below: every header in the file
      {"no sections", 16, 0, "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPeBuilder b = threeSections();
    b.numberOfSections = c.numberOfSections;
    std::vector<uint8_t> bytes = b.build();
    writeLe32(&bytes[0x80 + 0x74], c.directoryCount);
    TLoaded l(bytes);
    TImagePropsModel& m = l.m;
    EXPECT_EQ(m.title(), "Image properties");
    EXPECT_EQ(m.fieldText(IPC_NUM_SECTIONS), c.countText);
    EXPECT_EQ(m.fieldText(IPC_DIR_ENTRIES), wsString("%lX", c.directoryCount));
    if (c.numberOfSections == 0xFFFF) {
      // Headers are listed while they start inside the file, whatever they hold.
      const size_t inFile = (bytes.size() - 0x178 + 39) / 40;
      EXPECT_EQ(m.sections().size(), inFile);
      EXPECT_EQ(m.sections().back().headerOffset, 0x178 + 40 * (inFile - 1));
      continue;
    }
    EXPECT_TRUE(m.sections().empty());
    EXPECT_EQ(m.selection(), -1);
    EXPECT_EQ(fields(m, IPC_VIRTUAL_SIZE, IPC_RAW_OFFSET), "|||");
    EXPECT_EQ(checkedBits(m), 0u);
    EXPECT_FALSE(m.apply());
    EXPECT_FALSE(m.gotoSection());
  }
}

TEST(ImageProps, NotAPortableExecutable) {
  // A 0x200-byte file: the PE offset must be above 0 and below 0x200 - 120 = 0x188.
  auto image = [](uint32_t peOffset, bool mz = true, bool pe = true, size_t size = 0x200) {
    std::vector<uint8_t> f(size, 0);
    if (mz) f[0] = 'M', f[1] = 'Z';
    writeLe32(&f[0x3C], peOffset);
    if (pe && uint64_t(peOffset) + 1 < f.size()) f[peOffset] = 'P', f[peOffset + 1] = 'E';
    return f;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool valid;
  } cases[] = {
      {"last PE offset that fits", image(0x187), true},
      {"PE offset leaves 120 bytes", image(0x188), false},
      {"PE offset 0", image(0), false},
      {"negative PE offset", image(0x80000000), false},
      {"PE offset -1", image(0xFFFFFFFF), false},
      {"no MZ", image(0x80, false), false},
      {"no PE", image(0x80, true, false), false},
      {"only MZ", {'M', 'Z'}, false},
      {"one byte", {'M'}, false},
      {"empty", {}, false},
      {"121 bytes", std::vector<uint8_t>(121, 0), false},
      // size - 120 is negative, not a huge limit
      {"file shorter than the headers", image(4, true, true, 0x40), false},
      {"a DOS program", readFile(fixturePath("dos.exe")), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TLoaded l(c.bytes);
    EXPECT_EQ(l.m.headersValid(), c.valid);
    EXPECT_EQ(l.m.title(), c.valid ? "Image properties" : "Not a portable executable!");
    if (c.valid) continue;
    EXPECT_EQ(fields(l.m, IPC_NUM_SECTIONS, IPC_RAW_OFFSET), "||||||||||");
    EXPECT_TRUE(l.m.sections().empty());
    EXPECT_FALSE(l.m.apply());
    EXPECT_FALSE(l.m.gotoSection());
  }
}

TEST(ImageProps, RefreshFollowsChangesBeforeTheTableEnd) {
  // gui.exe: table 0x178 .. 0x178 + 7 x 40 = 0x290. A pending box click shows
  // whether the model read the buffer again.
  struct Case {
    uint32_t offset;
    bool refreshes;
  } cases[] = {{0x0, true},   {0x3C, true},   {0x178, true},
               {0x28F, true}, {0x290, false}, {0x400, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.offset);
    TLoaded l("gui.exe");
    l.m.chooseSection(3);
    l.m.setChecked(IPC_FLAG_CODE, true);
    const uint8_t same = l.doc.buffer()[c.offset];
    l.doc.ChangeMemory(c.offset, &same, 1);
    EXPECT_EQ(l.m.checked(IPC_FLAG_CODE), !c.refreshes);
    EXPECT_EQ(l.m.selection(), 3);
  }
}

TEST(ImageProps, RefreshAfterHeaderEdits) {
  TLoaded l("gui.exe");
  TImagePropsModel& m = l.m;
  int changes = 0;
  m.onContentsChanged = [&] { ++changes; };
  m.chooseSection(5);

  // Fewer sections: the chosen index is gone, the first is chosen.
  const uint8_t two[2] = {2, 0};
  l.doc.ChangeMemory(0x80 + 6, two, 2);
  EXPECT_EQ(m.sections().size(), 2u);
  EXPECT_EQ(m.selection(), 0);
  l.doc.undo();
  l.doc.undo();
  EXPECT_EQ(m.sections().size(), 7u);

  // Broken and mended headers: the title follows, the index survives.
  m.chooseSection(4);
  changes = 0;
  const uint8_t x = 'X';
  l.doc.ChangeMemory(0, &x, 1);
  EXPECT_EQ(m.title(), "Not a portable executable!");
  EXPECT_TRUE(m.sections().empty());
  EXPECT_FALSE(m.apply());
  l.doc.undo();
  EXPECT_EQ(m.title(), "Image properties");
  EXPECT_EQ(m.selection(), 4);
  EXPECT_EQ(m.fieldText(IPC_RAW_OFFSET), "1200");
  EXPECT_GE(changes, 2);

  // A move of the PE header offset is seen too (0x3C lies before any table).
  const uint8_t far[4] = {0x00, 0x10, 0, 0};
  l.doc.ChangeMemory(0x3C, far, 4);
  EXPECT_FALSE(m.headersValid());
}

TEST(ImageProps, CloseAndDestroyStopFollowingChanges) {
  TLoaded l("gui.exe");
  int closed = 0;
  {
    TImagePropsModel m(l.doc);
    m.onClosed = [&] { ++closed; };
    m.open();
    m.open();  // opening again subscribes once
    m.setChecked(IPC_FLAG_WRITEABLE, true);
    m.close();
    m.close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(m.isOpen());
    const uint8_t same = l.doc.buffer()[0x178];
    l.doc.ChangeMemory(0x178, &same, 1);
    EXPECT_TRUE(m.checked(IPC_FLAG_WRITEABLE));  // not read again
    EXPECT_FALSE(m.apply());                     // a closed dialog writes nothing
    EXPECT_FALSE(m.gotoSection());
    m.open();
  }
  // The destroyed model is no longer told (a call would touch freed memory).
  const uint8_t same = l.doc.buffer()[0x178];
  l.doc.ChangeMemory(0x178, &same, 1);
  EXPECT_EQ(closed, 1);
}

}  // namespace
