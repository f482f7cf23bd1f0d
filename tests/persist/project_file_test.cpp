// Project files: the round trip over every fixture, the empty project's
// layout, truncated and misdirected files, and the older and newer versions.
#include <gtest/gtest.h>

#include <map>

#include "analysis/scanner.h"
#include "base/text_format.h"
#include "persist/project_test_support.h"

namespace {

using V = std::vector<uint32_t>;

// The stores as flat lists of numbers, in store order.
std::vector<uint32_t> flatStores(const TDocument& d) {
  std::vector<uint32_t> v;
  const TReferenceStores& s = d.stores();
  for (uint32_t i = 0; i < s.jumpCalls.count(); ++i)
    v.insert(v.end(), {s.jumpCalls[i].target, s.jumpCalls[i].source, s.jumpCalls[i].kind});
  v.push_back(0xEEEEEEEE);
  for (uint32_t i = 0; i < s.imports.count(); ++i) {
    const TImpRef& r = s.imports[i];
    v.insert(v.end(), {r.iatAddress, r.moduleName, r.function, r.refs.count()});
    for (const TMInt& m : r.refs) v.push_back(uint32_t(m.value));
  }
  auto ids = [&](const auto& store) {
    v.push_back(0xEEEEEEEE);
    for (uint32_t i = 0; i < store.count(); ++i) {
      v.insert(v.end(), {store[i].id, store[i].textOffset, store[i].refs.count()});
      for (const TMIntType& m : store[i].refs)
        v.insert(v.end(), {uint32_t(m.value), uint32_t(m.type)});
    }
  };
  ids(s.strings);
  ids(s.menus);
  return v;
}

// A document with work in every part a project keeps.
void doSomeWork(TProjectDoc& p, uint32_t wrapBy) {
  TDocument& doc = p.doc;
  const uint32_t base = doc.image().isPE() ? doc.image().imageBase() : 0;
  doc.names().add(base + 0x10, "first_label", REPLACE_ALWAYS);
  doc.names().add(base + 0x2000, "a_name_with_a_longer_text_to_store", REPLACE_ALWAYS);
  doc.names().add(0xFFFFFFF0u, "high", REPLACE_ALWAYS);
  doc.trace().toggleBreakpoint(0x40);
  doc.trace().toggleBreakpoint(0x20);
  for (int i = 0; i < 3; ++i) doc.trace().traceStep();
  doc.trace().regs().recordFault(0x12345, true, doc.image());
  doc.view().detectStrings = false;
  // More entries than the ring holds, then back a few: the ring has wrapped
  // and holds fewer than 64 entries.
  for (uint32_t i = 0; i < 64 + wrapBy; ++i)
    doc.history().pushReturn(i % 10, i * 3 % doc.fileSize());
  doc.goBack(4);
  doc.trace().showEip(true);
  if (!doc.view().cursorShown) doc.view().topOffset = 0;
}

// Each fixture with its own view settings and fixed marks: set marks open
// the fixed-register window after the load.
TEST(ProjectFile, RoundTripOverEveryFixtureGivesTheSameFileAndState) {
  struct Case {
    const char* fixture;
    bool hexDump, bits16, fileOffsets;
    uint8_t fixed32;
  } cases[] = {{"gui.exe", true, false, true, 0},
               {"fixdll.dll", false, true, false, 0x11},
               {"tiny.exe", false, false, false, 0},
               {"dos.exe", false, false, true, 0},
               {"raw.bin", false, true, false, 0x01}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    TempDir dir;
    TProjectDoc first(c.fixture, true);
    doSomeWork(first, 6);
    first.doc.view().hexDump = c.hexDump;
    first.doc.view().bits16 = c.bits16;
    first.doc.view().fileOffsets = c.fileOffsets;
    first.doc.trace().regs().fixed32 = c.fixed32;
    ASSERT_EQ(first.save(dir.file("a.oxu")), 1);
    EXPECT_FALSE(first.doc.projectChanged());

    TProjectDoc second;  // nothing loaded: the project brings its file
    struct : TDocumentObserver {
      int shown = 0;
      void fixedRegistersRequested() override { ++shown; }
    } seen;
    second.doc.addObserver(seen);
    ASSERT_EQ(second.load(dir.file("a.oxu")), PROJECT_LOADED);
    EXPECT_EQ(second.doc.path(), first.doc.path());
    ASSERT_EQ(second.save(dir.file("b.oxu")), 1);

    EXPECT_EQ(readFile(dir.file("a.oxu")), readFile(dir.file("b.oxu")));
    EXPECT_EQ(first.doc.names().snapshot(), second.doc.names().snapshot());
    EXPECT_EQ(flatStores(first.doc), flatStores(second.doc));
    std::vector<uint8_t> firstRegs, secondRegs;  // every field the tracer keeps, as it saves them
    first.doc.trace().regs().save(firstRegs);
    second.doc.trace().regs().save(secondRegs);
    EXPECT_EQ(firstRegs, secondRegs);
    ASSERT_EQ(first.doc.history().count(), second.doc.history().count());
    for (uint32_t i = 0; i < first.doc.history().count(); ++i)
      EXPECT_EQ(first.doc.history().getReturn(i), second.doc.history().getReturn(i)) << i;
    // The view as saved (the 16-bit switch only where no hex dump hides it), the fixed-register
    // window shown once for set marks, and no scan started by the load.
    const TViewState& view = second.doc.view();
    EXPECT_EQ((V{second.doc.history().count(), view.hexDump, view.fileOffsets, view.detectStrings,
                 second.doc.trace().fixedRegistersShown(), uint32_t(seen.shown),
                 second.doc.workers().scanning()}),
              (V{59, c.hexDump, c.fileOffsets, 0, c.fixed32 != 0, c.fixed32 != 0, 0}));
    if (!c.hexDump) {
      EXPECT_EQ(view.bits16, c.bits16);
    }
    EXPECT_EQ(second.host.statusTexts.back(), referenceCountsText(second.doc.stores()));
    second.doc.removeObserver(seen);
  }
}

TEST(ProjectFile, EmptyProjectLayout) {
  TempDir dir;
  TProjectDoc p("tiny.exe");
  p.doc.names().clear();
  p.doc.trace().clearBreakpoints();
  p.doc.history().clear();
  ASSERT_EQ(p.save(dir.file("e.oxu")), 1);
  const std::vector<uint8_t> f = readFile(dir.file("e.oxu"));
  const uint32_t n = uint32_t(p.doc.path().size() + 1);
  ASSERT_EQ(f.size(), 16553u + n);
  EXPECT_EQ(readLe16(f.data()), 235);
  const uint32_t expected[8] = {52,        55 + n,    60 + n,    16530 + n,
                                16535 + n, 16540 + n, 16545 + n, 16550 + n};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(tableEntry(f, k), expected[k]) << k;
    EXPECT_EQ(f[expected[k]], k) << k;  // the marker
  }
  for (int i = 10; i < 20; ++i) EXPECT_EQ(f[i], 0) << i;
  EXPECT_EQ(f[6], p.doc.view().bits16 ? 16 : 32);
}

// Which section a cut at `at` falls into: -1 in the header and table.
int sectionAt(const std::vector<uint8_t>& f, size_t at) {
  int k = -1;
  for (int s = 0; s < PROJECT_SECTION_COUNT; ++s)
    if (at >= tableEntry(f, s)) k = s;
  return at < PROJECT_SECTIONS_START ? -1 : k;
}

// Sections 0..k-1 hold what `original` holds.
void expectLoadedBefore(int k, const TProjectDoc& p, const TProjectDoc& original) {
  if (k > PS_COMMENTS) {
    EXPECT_EQ(p.doc.names().snapshot(), original.doc.names().snapshot());
  }
  if (k > PS_FIXEDREGS) {
    EXPECT_EQ(p.doc.trace().regs().EIP, original.doc.trace().regs().EIP);
    EXPECT_EQ(p.doc.trace().regs().breakPoints.size(),
              original.doc.trace().regs().breakPoints.size());
  }
  if (k > PS_JUMPANDCALLREFS) {
    EXPECT_EQ(p.doc.stores().jumpCalls.count(), original.doc.stores().jumpCalls.count());
  }
  if (k > PS_IMPORTREFS) {
    EXPECT_EQ(p.doc.stores().imports.count(), original.doc.stores().imports.count());
  }
  if (k > PS_STRINGREFS) {
    EXPECT_EQ(p.doc.stores().strings.count(), original.doc.stores().strings.count());
  }
  if (k > PS_MENUREFS) {
    EXPECT_EQ(p.doc.stores().menus.count(), original.doc.stores().menus.count());
  }
}

struct Saved {
  TempDir dir;
  TProjectDoc original{"gui.exe", true};
  std::vector<uint8_t> bytes;
  Saved() {
    doSomeWork(original, 0);
    EXPECT_EQ(original.save(dir.file("p.oxu")), 1);
    bytes = readFile(dir.file("p.oxu"));
    EXPECT_GT(original.doc.stores().imports.count(), 0u);
    EXPECT_GT(original.doc.stores().menus.count(), 0u);
  }
};

// A truncation is a read error of the section it falls into; the second
// number tells how far that section's read got.
TEST(ProjectFile, EveryTruncationIsAReadErrorInItsSection) {
  Saved s;
  const auto& f = s.bytes;
  const uint32_t names = s.original.doc.names().count();
  const uint32_t jc = s.original.doc.stores().jumpCalls.count();
  const uint32_t imports = s.original.doc.stores().imports.count();
  const std::map<size_t, std::string> exact = {
      {10, "(-1,0)"},
      {tableEntry(f, 0), "(0,0)"},
      {tableEntry(f, 0) + 2, "(0,0)"},  // half a length
      {tableEntry(f, 0) + 5, wsString("(0,%i)", int(tableEntry(f, 1) - tableEntry(f, 0) - 3))},
      {tableEntry(f, 1) + 3, "(1,1)"},  // the count cut
      {tableEntry(f, 1) + 7, wsString("(1,%i)", int(names - 1))},
      {tableEntry(f, 2) + 100, "(2,2)"},
      {tableEntry(f, 3) + 1, "(3,3)"},
      {tableEntry(f, 3) + 5 + 10 * 2 + 4, wsString("(3,%i)", int(jc - 3))},
      {tableEntry(f, 4) + 5 + 15, wsString("(4,%i)", int(imports - 1))},
      {tableEntry(f, 7), "(7,0)"},
      {tableEntry(f, 7) + 1, "(7,7)"},
      {f.size() - 1, "(7,0)"},
  };
  ASSERT_EQ(exact.size(), 13u);
  TProjectDoc p("gui.exe");
  for (size_t cut = 0; cut < f.size(); ++cut) {
    const std::vector<uint8_t> part(f.begin(), f.begin() + cut);
    p.forget();
    p.host.messages.clear();
    ASSERT_EQ(p.load(part), PROJECT_READ_ERROR) << cut;
    ASSERT_EQ(p.host.messages.size(), 1u) << cut;
    const int k = sectionAt(f, cut);
    const std::string prefix = wsString("Couldn't read project file (%i,", k);
    ASSERT_EQ(p.host.messages[0].text.substr(0, prefix.size()), prefix) << cut;
    if (const auto e = exact.find(cut); e != exact.end()) {
      EXPECT_EQ(p.host.messages[0].text, "Couldn't read project file " + e->second + "!") << cut;
    }
    EXPECT_EQ(p.host.messages[0].caption, "File error");
    EXPECT_EQ(p.host.messages[0].icon, MsgIcon::Exclamation);
    expectLoadedBefore(k, p, s.original);
  }
  const std::vector<uint8_t> whole = f;
  EXPECT_EQ(p.load(whole), PROJECT_LOADED);
}

TEST(ProjectFile, ASectionOffsetOneByteOffIsTheWrongSection) {
  Saved s;
  TProjectDoc p("gui.exe");
  for (int k = 0; k < PROJECT_SECTION_COUNT; ++k) {
    for (int delta : {-1, 1}) {
      SCOPED_TRACE(testing::Message() << "section " << k << " moved by " << delta);
      std::vector<uint8_t> f = s.bytes;
      const uint32_t at = tableEntry(f, k) + delta;
      writeLe32(f.data() + PROJECT_HEADER_SIZE + 4 * k, at);
      p.forget();
      p.host.messages.clear();
      const int rc = p.load(f);
      // The budget of the previous section's last record ends at this offset: one byte less and
      // that record (an import, a string, ...) runs past its section, which is a read error.
      if (delta < 0 && k >= PS_STRINGREFS && readLe32(f.data() + tableEntry(f, k - 1) + 1) > 0) {
        ASSERT_EQ(rc, PROJECT_READ_ERROR);
        EXPECT_EQ(p.host.messages[0].text, wsString("Couldn't read project file (%i,0)!", k - 1));
        expectLoadedBefore(k - 1, p, s.original);
        continue;
      }
      if (f[at] == k) {
        // The byte there happens to be the marker: the section is read from
        // the wrong place, which may or may not work, but stays inside the file.
        EXPECT_TRUE(rc == PROJECT_LOADED || rc == PROJECT_READ_ERROR || rc == PROJECT_CANCELLED ||
                    rc == PROJECT_WRONG_SECTION)
            << rc;
        continue;
      }
      ASSERT_EQ(rc, PROJECT_WRONG_SECTION);
      ASSERT_EQ(p.host.messages.size(), 1u);
      EXPECT_EQ(p.host.messages[0].text,
                std::string("Wrong section found (") + projectSectionName(k) + ")!");
      EXPECT_EQ(p.host.messages[0].caption, wsString("d=%i sec=%i so[sec]=%X", int(f[at]), k, at));
      expectLoadedBefore(k, p, s.original);
    }
  }
}

TEST(ProjectFile, OlderAndNewerVersions) {
  Saved s;
  const TFixedRegs& saved = s.original.doc.trace().regs();
  ASSERT_FALSE(saved.breakPoints.empty());
  ASSERT_NE(saved.faultAddress, 0u);

  struct Case {
    uint16_t version;
    size_t regsBytes;  // FIXEDREGS body kept (0: all), or rebuilt for version 229
    bool warning;
  };
  for (const Case& c : {Case{236, 0, true}, Case{234, 8, false}, Case{229, 0, false}}) {
    SCOPED_TRACE(c.version);
    TProjectParts8 parts = splitProject(s.bytes);
    setVersion(parts, c.version);
    std::vector<uint8_t>& regs = parts.sections[PS_FIXEDREGS];
    if (c.version == 234) regs.resize(regs.size() - c.regsBytes);
    if (c.version == 229) {
      // Marker, three mark bytes, the old spare byte, eight registers.
      std::vector<uint8_t> old = {regs[0], 9, 8, 7, 0xAA};
      old.insert(old.end(), regs.begin() + 4, regs.begin() + 4 + 32);
      regs = old;
    }
    TProjectDoc p("gui.exe");
    p.doc.trace().regs().clearBreakPoints();
    p.doc.trace().toggleBreakpoint(0x999);
    p.doc.trace().regs().faultAddress = 77;
    p.doc.trace().regs().EIP = 0x1234;
    ASSERT_EQ(p.load(joinProject(parts)), PROJECT_LOADED);
    const TFixedRegs& r = p.doc.trace().regs();
    EXPECT_EQ(0, std::memcmp(r.reg, saved.reg, sizeof r.reg));
    const V state{r.EIP, uint32_t(r.breakPoints.size()), r.breakPoints.at(0).offset, r.faultAddress,
                  r.faultWrite};
    if (c.version == 229) {  // only marks and registers are read
      EXPECT_EQ(r.fixed8 << 16 | r.fixed16 << 8 | r.fixed32, 0x090807);
      EXPECT_EQ(state, (V{0x1234, 1, 0x999, 77, 0}));
    } else {
      const bool faults = c.version != 234;
      EXPECT_EQ(state,
                (V{saved.EIP, uint32_t(saved.breakPoints.size()), saved.breakPoints[0].offset,
                   faults ? saved.faultAddress : 0, faults ? saved.faultWrite : 0}));
    }
    EXPECT_EQ(p.doc.names().snapshot(), s.original.doc.names().snapshot());
    EXPECT_EQ(p.doc.stores().menus.count(), s.original.doc.stores().menus.count());
    const bool warned =
        !p.host.messages.empty() &&
        p.host.messages[0].text ==
            "This project was created with a newer version of OXU and may be incompatible" &&
        p.host.messages[0].caption == "Warning!";
    EXPECT_EQ(warned, c.warning);
  }
}

TEST(ProjectFile, UnsortedJumpCallRecordsAreSortedForLookups) {
  Saved s;
  TProjectParts8 parts = splitProject(s.bytes);
  std::vector<uint8_t> jc(5 + 3 * 10);  // tag, count, three records of 10 bytes
  jc[0] = PS_JUMPANDCALLREFS;
  jc[1] = 3;
  uint8_t* r = jc.data() + 5;
  for (uint32_t t : {0x300u, 0x100u, 0x200u}) {
    writeLe32(r, t);
    writeLe32(r + 4, t + 1);
    writeLe16(r + 8, 1);
    r += 10;
  }
  parts.sections[PS_JUMPANDCALLREFS] = jc;
  TProjectDoc p("gui.exe");
  ASSERT_EQ(p.load(joinProject(parts)), PROJECT_LOADED);
  EXPECT_EQ(p.doc.stores().jumpCalls.findFirst(0x100), 0u);
  EXPECT_EQ(p.doc.stores().jumpCalls.findFirst(0x300), 2u);

  // A fourth record announced but missing: the three read stay, in order.
  parts.sections[PS_JUMPANDCALLREFS][1] = 4;
  std::vector<uint8_t> cut = joinProject(parts);
  cut.resize(tableEntry(cut, PS_IMPORTREFS));
  EXPECT_EQ(p.load(cut), PROJECT_READ_ERROR);
  EXPECT_EQ(p.host.messages.back().text, "Couldn't read project file (3,0)!");
  ASSERT_EQ(p.doc.stores().jumpCalls.count(), 3u);
  EXPECT_EQ(p.doc.stores().jumpCalls.findFirst(0x200), 1u);
}

}  // namespace
