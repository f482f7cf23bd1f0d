// Saving: backups, undo after saving, failures that must leave the file
// intact, the section-enlarged copy and the close questions.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "base/le_read.h"
#include "base/text_format.h"
#include "document/document.h"
#include "fixtures/src/tally.h"
#include "image/file_save.h"
#include "support/bytes_document.h"
#include "support/fixtures.h"
#include "support/mingw_files.h"
#include "support/pe_builder.h"
#include "support/process.h"
#include "support/recording_host.h"

namespace {

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7);
  return v;
}

struct Saved : TBytesDocument {
  explicit Saved(const std::vector<uint8_t>& bytes) : TBytesDocument(bytes, "prog.exe") {}
};

// A fixture or mingw DLL loaded without the reference scan.
struct TUnscanned {
  RecordingHost host;
  TDocument doc{host};
  explicit TUnscanned(const std::string& path, bool tlsStart = true) {
    doc.settings().noScan = true;
    doc.settings().startTracerAtTlsCallback = tlsStart;
    doc.setPath(path);
    EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
  }
};

TEST(BackupNames, ExtensionReplacedOrAppended) {
  struct Case {
    const char* path;
    const char* backup;
  } cases[] = {{"/dir/file.exe", "/dir/file.bak"},
               {"/dir.x/file", "/dir.x/file.bak"},
               {"file.tar.gz", "file.tar.bak"},
               {"file", "file.bak"},
               {"/dir/.hidden", "/dir/.bak"}};
  for (const auto& c : cases) EXPECT_EQ(backupPathFor(c.path), c.backup) << c.path;
}

TEST(SaveFile, WritesTheBufferKeepsABackupAndThePermissions) {
  Saved s(pattern(100));
  std::filesystem::permissions(s.path, std::filesystem::perms(0750));
  const uint8_t b = 0xEE;
  s.doc.ChangeMemory(10, &b, 1);
  ASSERT_TRUE(s.doc.SaveFile());
  EXPECT_FALSE(s.doc.fileChanged());
  auto now = pattern(100);
  now[10] = 0xEE;
  EXPECT_EQ(readFile(s.path), now);  // not the 16 zero bytes behind it
  EXPECT_EQ(readFile(s.dir.file("prog.bak")), pattern(100));
  // Undo after the save: the file differs from the disk again.
  EXPECT_TRUE(s.doc.undoAvailable());
  s.doc.undo();
  EXPECT_TRUE(s.doc.fileChanged());
  s.doc.redo();
  EXPECT_FALSE(s.doc.fileChanged());

  s.doc.settings().keepUndoAfterSave = false;
  s.doc.settings().createBackups = false;
  s.doc.ChangeMemory(11, &b, 1);
  ASSERT_TRUE(s.doc.SaveFile());
  EXPECT_FALSE(s.doc.undoAvailable());
  EXPECT_FALSE(s.doc.redoAvailable());
  EXPECT_EQ(readFile(s.dir.file("prog.bak")), pattern(100));  // no new backup
  EXPECT_EQ(std::filesystem::status(s.path).permissions(), std::filesystem::perms(0750));
}

TEST(SaveFile, FailuresLeaveTheFileOnDiskIntact) {
  Saved s(pattern(64));
  const uint8_t b = 0x55;
  s.doc.ChangeMemory(0, &b, 1);
  s.doc.setPath(s.dir.file("missing/dir/prog.exe"));
  EXPECT_FALSE(s.doc.SaveFile());
  EXPECT_EQ(s.host.messageLines(), std::vector<std::string>{"File error: Couldn't open file:: " +
                                                            s.dir.file("missing/dir/prog.exe")});
  EXPECT_TRUE(s.doc.fileChanged());

  RecordingHost none;
  TDocument empty(none);
  EXPECT_FALSE(empty.SaveFile());
  EXPECT_EQ(none.messageLines(),
            std::vector<std::string>{"File's not opened ;): What shall I save???"});
}

TEST(SaveAs, AsksAndRenames) {
  Saved s(pattern(16));
  s.host.fileAnswers.push_back(s.dir.file("copy.exe"));
  ASSERT_TRUE(s.doc.saveFileAs());
  EXPECT_EQ(s.host.fileDialogTitles, std::vector<std::string>{"Save file as..."});
  EXPECT_EQ(s.doc.path(), s.dir.file("copy.exe"));
  EXPECT_EQ(readFile(s.dir.file("copy.exe")), pattern(16));
  EXPECT_FALSE(s.doc.saveFileAs());  // cancelled
}

// .text raw 0x200 (virtual 0x100); .data raw 0x200, virtual 0x1234;
// .rdata raw 0x200; file alignment 0x200; the table lists .rdata first.
TPeBuilder enlargeable() {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x100, 0x200);
  b.addSection(".data", 0x2000, 0x1234, 0x200, 0xC0000040);
  b.addSection(".rdata", 0x4000, 0x100, 0x200, 0x40000040);
  std::swap(b.sections()[0], b.sections()[2]);
  return b;
}

std::vector<uint8_t> withFileAlignment(std::vector<uint8_t> f, uint32_t align) {
  writeLe32(&f[0x80 + 0x3C], align);
  for (size_t i = 0x400; i < f.size(); ++i) f[i] = uint8_t(i >> 4);
  return f;
}

// The section table as the file states it, read here without the image model.
struct TRawPe {
  struct Section {
    std::string name;
    uint32_t virtualSize, rva, rawSize, rawOffset;
  };
  uint32_t peOffset = 0, imageBase = 0, align = 0, headerSize = 0;
  uint64_t table = 0, tableEnd = 0;
  std::vector<Section> sections;
};

bool readRawPe(const std::vector<uint8_t>& f, TRawPe& pe) {
  if (f.size() < 0x40) return false;
  pe.peOffset = readLe32(&f[0x3C]);
  if (uint64_t(pe.peOffset) + 0x78 > f.size()) return false;
  const uint8_t* h = &f[pe.peOffset];
  pe.imageBase = readLe32(h + 0x34);
  pe.align = readLe32(h + 0x3C);
  pe.headerSize = readLe32(h + 0x54);
  pe.table = pe.peOffset + 0x78 + 8ull * readLe32(h + 0x74);
  pe.tableEnd = pe.table + 40ull * readLe16(h + 6);
  if (pe.tableEnd > f.size()) return false;
  for (uint64_t at = pe.table; at < pe.tableEnd; at += 40) {
    const char* name = reinterpret_cast<const char*>(&f[at]);
    pe.sections.push_back({std::string(name, strnlen(name, 8)), readLe32(&f[at + 8]),
                           readLe32(&f[at + 12]), readLe32(&f[at + 16]), readLe32(&f[at + 20])});
  }
  return true;
}

// The rules an enlarged copy keeps: a section whose raw data is shorter than
// its virtual size gets that size rounded up to the file alignment, with its
// old bytes in front and zeros behind; no raw data overlaps another's or the
// headers; the table lists raw data in file order; the headers stay (but for
// PointerToSymbolTable), the overlay ends the copy and nothing else changes.
void expectValidEnlargedCopy(const std::vector<uint8_t>& orig, const std::vector<uint8_t>& copy) {
  TRawPe before, after;
  ASSERT_TRUE(readRawPe(orig, before));
  ASSERT_TRUE(readRawPe(copy, after));
  ASSERT_EQ(after.sections.size(), before.sections.size());
  const uint32_t p = before.peOffset;
  EXPECT_TRUE(std::equal(orig.begin(), orig.begin() + p + 12, copy.begin()));
  EXPECT_TRUE(
      std::equal(orig.begin() + p + 16, orig.begin() + before.table, copy.begin() + p + 16));
  std::vector<std::pair<uint64_t, uint64_t>> placed;
  uint64_t dataEnd = 0, grown = 0;
  for (const auto& old : before.sections) {
    SCOPED_TRACE(old.name);
    auto now = std::find_if(after.sections.begin(), after.sections.end(),
                            [&](const auto& n) { return n.name == old.name && n.rva == old.rva; });
    ASSERT_NE(now, after.sections.end());
    EXPECT_EQ(now->virtualSize, old.virtualSize);
    const uint64_t rounded = (uint64_t(old.virtualSize) + before.align - 1) / before.align *
                             before.align;
    EXPECT_EQ(now->rawSize, old.rawSize >= old.virtualSize ? old.rawSize : rounded);
    ASSERT_LE(uint64_t(now->rawOffset) + now->rawSize, copy.size());
    const uint32_t kept = old.rawSize;
    ASSERT_LE(uint64_t(old.rawOffset) + kept, orig.size());
    const auto at = copy.begin() + now->rawOffset;
    EXPECT_TRUE(std::equal(orig.begin() + old.rawOffset, orig.begin() + old.rawOffset + kept, at));
    EXPECT_TRUE(std::all_of(at + kept, at + now->rawSize, [](uint8_t b) { return b == 0; }));
    if (now->rawSize) placed.emplace_back(now->rawOffset, uint64_t(now->rawOffset) + now->rawSize);
    if (kept) dataEnd = std::max<uint64_t>(dataEnd, uint64_t(old.rawOffset) + kept);
    grown += now->rawSize - old.rawSize;
  }
  EXPECT_EQ(copy.size(), orig.size() + grown);  // no byte lost
  uint64_t lastRaw = 0;
  for (const auto& now : after.sections) {
    if (!now.rawSize) continue;
    EXPECT_GE(now.rawOffset, lastRaw) << now.name << " listed out of file order";
    lastRaw = now.rawOffset;
  }
  std::sort(placed.begin(), placed.end());
  uint64_t free = std::max<uint64_t>(after.tableEnd, after.headerSize);
  for (const auto& [begin, end] : placed) {
    EXPECT_GE(begin, free) << "raw data at " << begin << " overlaps";
    free = end;
  }
  // Behind the last raw data (or, with none, behind the section table) the
  // file's remaining bytes.
  const uint64_t rest = orig.size() - std::max(dataEnd, before.tableEnd);
  const uint64_t restAt = dataEnd ? copy.size() - rest : after.tableEnd;
  if (dataEnd) {
    EXPECT_GE(restAt, free);
  }
  EXPECT_TRUE(std::equal(orig.end() - rest, orig.end(), copy.begin() + restAt));
}

// Sections as (name, RVA, virtual size, raw size), raw data one after the
// other from 0x400 (file alignment 0x200); raw size 0 makes an
// uninitialised-data section (raw offset 0). `extra` bytes end the file.
std::vector<uint8_t> shaped(
    std::initializer_list<std::tuple<const char*, uint32_t, uint32_t, uint32_t>> sections,
    size_t extra = 0, uint32_t gapAfterFirst = 0) {
  TPeBuilder b;
  for (const auto& [name, rva, virtualSize, rawSize] : sections) {
    b.addSection(name, rva, virtualSize, rawSize, rawSize ? 0x60000020 : 0xC0000080);
    if (!rawSize) b.sections().back().rawOffset = 0;
    if (b.sections().size() == 2) b.sections().back().rawOffset += gapAfterFirst;
  }
  auto f = withFileAlignment(b.build(), 0x200);
  for (size_t i = 0; i < extra; ++i) f.push_back(uint8_t(0xA0 + i));
  return f;
}

TEST(EnlargedSave, CopiesAreValidPeFiles) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
  } cases[] = {
      {".bss first by RVA", shaped({{".text", 0x2000, 0x100, 0x200},
                                    {".bss", 0x1000, 0x234, 0},
                                    {".data", 0x3000, 0x1234, 0x200}})},
      {".bss in the middle", shaped({{".text", 0x1000, 0x100, 0x200},
                                     {".bss", 0x2000, 0x234, 0},
                                     {".data", 0x3000, 0x1234, 0x200}})},
      {".bss last, an overlay behind", shaped({{".text", 0x1000, 0x100, 0x200},
                                               {".data", 0x2000, 0x1234, 0x200},
                                               {".bss", 0x4000, 0x10, 0}},
                                              0x300)},
      {"two .bss in a row, table out of RVA order", shaped({{".bss2", 0x3000, 0x10, 0},
                                                            {".text", 0x1000, 0x100, 0x200},
                                                            {".bss", 0x2000, 0x800, 0},
                                                            {".rsrc", 0x4000, 0x80, 0x200}})},
      {"no raw data at all", shaped({{".bss", 0x1000, 0x20, 0}, {".tls", 0x2000, 0x8, 0}})},
      {"no sections, an overlay", shaped({}, 0x300)},
      {"an enlarged last section, an overlay behind",
       shaped({{".text", 0x1000, 0x100, 0x200}, {".data", 0x2000, 0x1234, 0x200}}, 0x300)},
      {"0x200 bytes between raw data",
       shaped({{".text", 0x1000, 0x100, 0x200}, {".data", 0x2000, 0x100, 0x200}}, 0, 0x200)},
      {"nothing to enlarge: the table is only sorted",
       [] {
         TPeBuilder b = enlargeable();
         b.sections()[1].virtualSize = 0x100;
         return withFileAlignment(b.build(), 0x200);
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Saved s(c.file);
    const std::string out = s.dir.file("big.exe");
    ASSERT_TRUE(s.doc.SaveFileAsSecEnlarged(out)) << s.host.messageLines()[0];
    expectValidEnlargedCopy(c.file, readFile(out));
    EXPECT_EQ(s.doc.path(), out);  // the copy is now the open file
  }
}

// Every mingw-built fixture and i686 mingw DLL with a section without raw
// data (.bss) gives a copy that keeps the rules and that objdump reads.
TEST(EnlargedSave, MingwFilesWithBss) {
  const std::string objdump = i686Objdump();
  std::vector<std::string> files = {fixturePath("fixdll.dll"), fixturePath("tally.exe")};
  for (const auto& dll : i686MingwDlls()) files.push_back(dll);
  size_t withBss = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    const auto orig = readFile(file);
    TRawPe before;
    ASSERT_TRUE(readRawPe(orig, before));
    if (std::none_of(before.sections.begin(), before.sections.end(),
                     [](const auto& s) { return !s.rawSize; }))
      continue;
    ++withBss;
    TempDir dir;
    TUnscanned u(file);
    ASSERT_TRUE(u.doc.SaveFileAsSecEnlarged(dir.file("copy.dll"))) << u.host.messageLines()[0];
    const auto copy = readFile(dir.file("copy.dll"));
    expectValidEnlargedCopy(orig, copy);
    if (objdump.empty()) continue;
    // objdump reads the copy and finds the sections where the table puts them.
    TRawPe pe;
    ASSERT_TRUE(readRawPe(copy, pe));
    std::vector<std::string> theirs, ours;
    for (const auto& sec : objdumpSections(objdump, dir.file("copy.dll")))
      theirs.push_back(wsString("%X %X", sec.vma - pe.imageBase, sec.fileOffset));
    for (const auto& sec : pe.sections) ours.push_back(wsString("%X %X", sec.rva, sec.rawOffset));
    EXPECT_EQ(theirs, ours);
  }
  EXPECT_GE(withBss, 2u);
}

// tally.exe keeps its state in .bss: traced as it is, it stops at the first
// access; its enlarged copy runs to the end, with the state the same code
// gives on the host.
TEST(EnlargedSave, TracedBssStateMatchesTheHost) {
  tally = tally_state{};  // as a program starts
  tally_run();
  for (bool enlarged : {false, true}) {
    SCOPED_TRACE(enlarged ? "enlarged copy" : "as built");
    TempDir dir;
    TUnscanned u(fixturePath("tally.exe"), false);
    TDocument& doc = u.doc;
    if (enlarged) {
      ASSERT_TRUE(doc.SaveFileAsSecEnlarged(dir.file("tally.exe")));
    }
    int steps = 0;
    EXPECT_EQ(doc.trace().traceContinuous([&] { ++steps; }), 3);
    EXPECT_EQ(u.host.statusTexts.back(), "Illegal address: Address not in file!");
    if (!enlarged) {
      EXPECT_LT(steps, 10);
      continue;
    }
    // Stopped on start's final RET, whose return address is outside the file.
    EXPECT_EQ(doc.buffer()[doc.trace().tracePoint()], 0xC3);
    EXPECT_EQ(doc.trace().regs().EAX, tally.checksum);
    const SectionInfo* bss = nullptr;
    for (const auto& sec : doc.image().sections())
      if (!strcmp(sec.name, ".bss")) bss = &sec;
    ASSERT_NE(bss, nullptr);
    ASSERT_GE(bss->rawSize, sizeof tally);
    EXPECT_EQ(memcmp(doc.buffer() + bss->rawOffset, &tally, sizeof tally), 0);
  }
}

// Refused copies: a message, and neither the target nor a temporary file
// changes on disk.
TEST(EnlargedSave, RefusalsAndTheirMessages) {
  auto withDirectories = [](uint32_t count) {
    TPeBuilder b = enlargeable();
    b.directoryCount = count;
    return withFileAlignment(b.build(), 0x200);
  };
  TPeBuilder intoTable = enlargeable();
  intoTable.sections()[2].rawOffset = 0x100;
  TPeBuilder manySections = enlargeable();
  manySections.numberOfSections = 65535;  // 54 headers fit in the file, running into .text
  const std::string tooLarge = std::string("File error: ") + kEnlargedTooLarge;
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    std::string line;
  } cases[] = {
      {"not PE", std::vector<uint8_t>(600, 0x90),
       "Not a PE file!: This only works with PE files, yet!"},
      {"zero alignment", withFileAlignment(enlargeable().build(), 0),
       "TDWin::SaveFileAsSecEnlarged(): File align is zero: File align may not be zero!"},
      {"raw data inside the section table", withFileAlignment(intoTable.build(), 0x200),
       "File error: Couldn't write the buffer into the file (filepos=000001F0, bytestowrite=FFFFFF10)"},
      {"65535 sections", withFileAlignment(manySections.build(), 0x200),
       "File error: Couldn't write the buffer into the file (filepos=000009E8, bytestowrite=FFFFFA18)"},
      {"section table 8 MB into the file", withDirectories(0x100000),
       "File error: Couldn't write the buffer into the file (filepos=008000F8, bytestowrite=FF800908)"},
      {"section table 32 GB into the file", withDirectories(0xFFFFFFFF), tooLarge},
      {"alignment 0xFFFFFFFF", withFileAlignment(enlargeable().build(), 0xFFFFFFFF), tooLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Saved s(c.file);
    const std::string out = s.dir.file("out.exe");
    writeFile(out, {1, 2, 3});
    EXPECT_FALSE(s.doc.SaveFileAsSecEnlarged(out));
    EXPECT_EQ(s.host.messageLines(), std::vector<std::string>{c.line});
    EXPECT_EQ(readFile(out), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(runCommand("ls -A '" + s.dir.path() + "'").out, "out.exe\nprog.exe\n");
  }
}

// A write that fails part-way (the file size limit stops it) reports the
// write error and leaves the old file and no temporary file behind.
TEST(SaveFile, WriteFailingPartWayKeepsTheOldFile) {
  Saved s(pattern(64 * 1024));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    const uint8_t b = 0x11;
    s.doc.ChangeMemory(0x500, &b, 1);
    const bool saved = s.doc.SaveFile();
    const bool told =
        s.host.messageLines() ==
        std::vector<std::string>{"File error: Couldn't write the buffer into the file"};
    _exit(!saved && told && s.doc.fileChanged() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(s.path), pattern(64 * 1024));
  EXPECT_EQ(runCommand("ls -A '" + s.dir.path() + "'").out, "prog.exe\n");
}

TEST(CanClose, QuestionsAndAnswers) {
  struct Case {
    bool file, project;
    MsgAnswer answer;
    bool projectSaves;
    bool result;
    std::string caption;  // empty: no question
  } cases[] = {
      {false, false, MsgAnswer::Yes, true, true, ""},
      {true, false, MsgAnswer::No, true, true, "File has been changed!"},
      {true, false, MsgAnswer::Cancel, true, false, "File has been changed!"},
      {true, false, MsgAnswer::Yes, true, true, "File has been changed!"},
      {false, true, MsgAnswer::Yes, false, false, "Project has been changed!"},
      {false, true, MsgAnswer::Yes, true, true, "Project has been changed!"},
      {true, true, MsgAnswer::Yes, false, false, "File and project have been changed!"},
      {true, true, MsgAnswer::No, false, true, "File and project have been changed!"},
  };
  for (const auto& c : cases) {
    Saved s(pattern(8));
    s.doc.settings().createBackups = false;
    if (c.file) {
      const uint8_t b = 1;
      s.doc.ChangeMemory(0, &b, 1);
    }
    s.doc.setProjectChanged(c.project);
    s.doc.setProjectSaver([&] { return c.projectSaves; });
    s.host.answers.push_back(c.answer);
    EXPECT_EQ(s.doc.CanClose(), c.result);
    EXPECT_EQ(s.doc.fileChanged(), c.file && c.answer != MsgAnswer::Yes);
    EXPECT_EQ(s.host.messageLines(), c.caption.empty()
                                         ? std::vector<std::string>{}
                                         : std::vector{c.caption + ": Do you want to save?"});
    if (!c.caption.empty()) {
      EXPECT_EQ(s.host.messages[0].buttons, MsgButtons::YesNoCancel);
    }
  }
}

}  // namespace
