// Map and definition files: line rules, loading into the name store,
// collisions, messages and the loader thread.
#include <gtest/gtest.h>

#include "analysis/comment_container.h"
#include "analysis/symbol_files.h"
#include "analysis/symbol_loader.h"
#include "base/text_format.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

namespace {

TEST(MapLines, HeaderAndSymbols) {
  EXPECT_TRUE(isMapListHeader("  Address         Publics by Value              Rva+Base\n"));
  EXPECT_TRUE(isMapListHeader("\tADDRESSES   publics BY value"));
  EXPECT_FALSE(isMapListHeader("  Address         Publics by Name\n"));
  EXPECT_FALSE(isMapListHeader(" Start  Stop   Length Name\n"));

  struct Case {
    const char* line;
    const char* symbol;  // "segment:offset/digits name", "" for none
  } cases[] = {
      {" 0001:00000010       _main                      00401010 f   main.obj\n", "1:10/8 _main"},
      {" 0002:0004       Idle  _start\n", "2:4/4 _start"},
      {" 0001:00000020  two words      1234\n", "1:20/8 two words"},
      {" 0001:00000020  two\twords 5\n", "1:20/8 two\twords"},
      {" 0001:00000020  a  b\n", "1:20/8 a"},
      {" 0001:0000abcd  x\n", "1:ABCD/8 x"},
      {" 0001:00000020\n", "1:20/8 "},
      {" 0001:123456 y\n", "1:123456/6 y"},
      {" 000a:00000020  lower\n", ""},  // lower-case segment ends the list
      {" 001:00000020  short\n", ""},
      {"\n", ""},
      {" Program entry point at 0010:0100\n", ""},
  };
  for (const auto& c : cases) {
    auto s = parseMapSymbolLine(c.line);
    EXPECT_EQ(s ? wsString("%u:%X/%d ", s->segment, s->offset, s->offsetDigits) + s->name : "",
              c.symbol)
        << c.line;
  }
}

TEST(DefLines, ExportsAndOrdinals) {
  EXPECT_TRUE(isDefExportsLine("EXPORTS\n"));
  EXPECT_TRUE(isDefExportsLine("LIBRARY  exports"));
  EXPECT_FALSE(isDefExportsLine("LIBRARY fixdll.dll\n"));
  EXPECT_TRUE(isDefSkippedLine("  ; comment\n"));
  EXPECT_TRUE(isDefSkippedLine(" \t\n"));
  struct Case {
    const char* line;
    const char* exported;  // "name @ordinal", "" for none
  } cases[] = {
      {"  FixAdd @3\n", "FixAdd @3"},
      {"FixAdd\t@ 3 NONAME\n", "FixAdd @3"},
      {"FixAdd @3", "FixAdd @3"},
      {"FixAdd\n", ""},
      {"FixAdd @x\n", ""},
      {"FixAdd @3x\n", ""},
      {"FwdTick = KERNEL32.GetTickCount @4\n", ""},
      {"Big @99999999999\n", ""},
  };
  for (const auto& c : cases) {
    auto e = parseDefExportLine(c.line);
    EXPECT_EQ(e ? e->name + wsString(" @%u", e->ordinal) : "", c.exported) << c.line;
  }
}

// A document over a fixture, with the names its exports gave it.
struct Opened : TOpenedDocument {
  std::atomic<bool> stop{false};
  explicit Opened(const char* fixture) : TOpenedDocument(fixturePath(fixture)) {}
  int load(SymbolFileKind kind, const std::string& file) {
    return loadSymbolFile(kind, fixturePath(file), TSymbolTarget::of(doc.image()), doc.names(),
                          host, stop);
  }
  std::string name(uint32_t address) { return doc.names().lookup(address).value_or("<none>"); }
};

TEST(SymbolFiles, CollisionsWithExportNamesAndOwnOrdinals) {
  struct Case {
    std::vector<std::pair<int, std::string>> answers;
    size_t questions;
    const char* fixAdd;
    const char* fixSub;
  } cases[] = {
      {{}, 5, "FixAdd", "FixSub"},  // skip each time: five exports meet their map names
      {{{REPLACE_ANSWER_ALWAYS_SKIP, ""}}, 1, "FixAdd", "FixSub"},
      {{{REPLACE_ANSWER_ALWAYS_REPLACE, ""}}, 1, "_FixAdd", "_FixSub"},
      {{{REPLACE_ANSWER_REPLACE, "edited"}, {REPLACE_ANSWER_SKIP, ""}}, 5, "edited", "FixSub"},
      {{{REPLACE_ANSWER_CANCEL, ""}}, 1, "FixAdd", "FixSub"},
  };
  for (const auto& c : cases) {
    Opened o("fixdll.dll");
    for (const auto& a : c.answers) o.host.replaceAnswers.push_back(a);
    o.load(SymbolFileKind::Map, "fixdll.map");
    EXPECT_EQ(o.host.replaceQuestions.size(), c.questions);
    EXPECT_EQ(o.name(0x1000102A), c.fixAdd);
    EXPECT_EQ(o.name(0x10001035), c.fixSub);
    ASSERT_FALSE(o.host.replaceQuestions.empty());
    const auto& q = o.host.replaceQuestions[0];
    EXPECT_EQ(wsString("%X ", q.address) + q.oldName + " > " + q.newName,
              "1000102A FixAdd > _FixAdd");
  }
  Opened o("fixdll.dll");
  EXPECT_EQ(o.load(SymbolFileKind::Map, "fixdll.map"), 8);
  EXPECT_EQ(o.name(0x10001000), "_DllMain@12");
  EXPECT_EQ(o.name(0x10000000), "<none>");  // segment 0 names nothing
  // FixAdd, FixSub, FixHidden, FixScale and FixVersion have known ordinals;
  // the forwarder line has no "@" behind its first word.
  o.host.replaceAnswers.push_back({REPLACE_ANSWER_ALWAYS_REPLACE, ""});
  EXPECT_EQ(o.load(SymbolFileKind::Def, "fixdll.def"), 5);
  EXPECT_EQ(o.host.statusTexts.back(), "5 symbols loaded!");
}

TEST(SymbolFiles, Messages) {
  struct Case {
    const char* fixture;
    SymbolFileKind kind;
    std::string file;
    std::string line;
  } cases[] = {
      {"gui.exe", SymbolFileKind::Map, "missing.map",
       "MapFileThread(): Couldn't open map file:: " + fixturePath("missing.map")},
      {"gui.exe", SymbolFileKind::Def, "missing.def",
       "DefFileThread(): Couldn't open def file:: " + fixturePath("missing.def")},
      {"gui.exe", SymbolFileKind::Map, "fixdll.def",
       "MapFileThread(): Didn't find any address section!"},
      {"fixdll.dll", SymbolFileKind::Def, "fixdll.map",
       "DefFileThread(): Didn't find exports section!"},
      {"gui.exe", SymbolFileKind::Def, "fixdll.def",
       "Unable to collect exported functions!: This programm doesn't export any functions!"},
      {"dos.exe", SymbolFileKind::Def, "fixdll.def",
       "Main file is no portable executable!: This only works with portable executables!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Opened o(c.fixture);
    const uint32_t before = o.doc.names().count();
    EXPECT_EQ(o.load(c.kind, c.file), -1);
    ASSERT_EQ(o.host.messages.size(), 1u);
    EXPECT_EQ(o.host.messageLines()[0], c.line);
    EXPECT_EQ(o.doc.names().count(), before);
  }
}

TEST(SymbolFiles, CrLfLongLinesAndDefaults) {
  TempDir dir;
  std::string text = "  Address   Publics by Value\r\n\r\n 0001:00000010  first\r\n";
  text += " 0001:00000020  " + std::string(400, 'n') + "\r\n";
  text += " 0001:00000030  third\r\n";
  text += " 0010:0100  sixteen\r\n";  // a 16-bit symbol: MZ header + segment x 16 + offset
  writeFile(dir.file("x.map"), std::vector<uint8_t>(text.begin(), text.end()));
  Opened o("gui.exe");
  EXPECT_EQ(loadSymbolFile(SymbolFileKind::Map, dir.file("x.map"), TSymbolTarget::of(o.doc.image()),
                           o.doc.names(), o.host, o.stop),
            4);
  EXPECT_EQ(o.name(0x401010), "first");
  EXPECT_EQ(o.name(0x401020).size(), kSymbolLineLimit - 16);  // the line is cut, not split
  EXPECT_EQ(o.name(0x401030), "third");                       // a long line does not end the list
  EXPECT_EQ(o.name(0x240), "sixteen");
  EXPECT_EQ(defaultSymbolFilePath(SymbolFileKind::Map, "/a/b.exe"), "/a/b.map");
  EXPECT_EQ(defaultSymbolFilePath(SymbolFileKind::Def, "/a.b/c"), "/a.b/c.def");
}

TEST(SymbolLoaderThread, RunsStopsAndRestarts) {
  TempDir dir;
  std::string text = "  Address   Publics by Value\n\n";
  for (int i = 0; i < 200000; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, " 0001:%.8X  name%d\n", i, i);
    text += line;
  }
  writeFile(dir.file("big.map"), std::vector<uint8_t>(text.begin(), text.end()));
  Opened o("gui.exe");
  TSymbolLoaderThread loader(SymbolFileKind::Map);
  std::atomic<int> loaded{-2};
  loader.start(dir.file("big.map"), TSymbolTarget::of(o.doc.image()), o.doc.names(), o.host,
               [&](int n) { loaded = n; });
  loader.stop(o.host);  // stops early; what was added stays
  EXPECT_FALSE(loader.running());
  EXPECT_GE(loaded.load(), 0);
  EXPECT_LT(loaded.load(), 200000);
  loader.start(fixturePath("dos.map"), TSymbolTarget::of(o.doc.image()), o.doc.names(), o.host,
               [&](int n) { loaded = n; });
  loader.stop(o.host);
  loader.start(dir.file("big.map"), TSymbolTarget::of(o.doc.image()), o.doc.names(), o.host,
               [&](int n) { loaded = n; });
  while (loader.running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(loaded.load(), 200000);
  for (const auto& m : o.host.messages) EXPECT_NE(m.text, "Terminating thread manually");
}

}  // namespace
