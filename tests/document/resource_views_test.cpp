// Menu and string resources: lists, the rendered MENU block with its line
// table, reference lines, filters and the string search.
#include <algorithm>

#include <gtest/gtest.h>

#include "analysis/id_refs.h"
#include "document/document.h"
#include "document/resource_views.h"
#include "support/bytes_document.h"
#include "support/fixtures.h"
#include "support/opened_document.h"
#include "support/pe_builder.h"

namespace {

struct Opened : TOpenedDocument {
  explicit Opened(const std::string& path) : TOpenedDocument(path, false) {}
};

std::vector<std::string> texts(const std::vector<TListLine>& lines) {
  return textsOf(lines, [](const TListLine& l) { return l.text; });
}

TEST(MenuResources, ListAndRenderedBlock) {
  Opened o(fixturePath("gui.exe"));
  TMenuResourceView view;
  view.open(o.doc);
  EXPECT_EQ(texts(view.menus().lines), (std::vector<std::string>{"\"CONTEXT\"", "101"}));
  EXPECT_TRUE(view.menus().title.empty());
  EXPECT_EQ(view.shown().text,
            "\"CONTEXT\" MENU\r\n"
            "{\r\n"
            " POPUP \"Context\"\r\n"
            " {\r\n"
            "  MENUITEM \"&Copy\", 500 // = 0x01F4\r\n"
            "  MENUITEM \"&Paste\", 501, INACTIVE // = 0x01F5\r\n"
            "  MENUITEM \"Select &all\", 502, MENUBREAK // = 0x01F6\r\n"
            " }\r\n"
            "}\r\n");
  EXPECT_EQ(view.shown().lineIds,
            (std::vector<uint16_t>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 500, 501, 502, 0xFFFF, 0xFFFF}));

  view.select(o.doc, 1);
  const std::string& t = view.shown().text;
  EXPECT_EQ(
      t.rfind("101 MENU\r\n{\r\n POPUP \"&File\"\r\n {\r\n  MENUITEM \"&New\", 200 // = 0x00C8\r\n",
              0),
      0u);
  for (const char* line :
       {"  MENUITEM \"Save &as...\", 202, GRAYED // = 0x00CA\r\n",
        "  MENUITEM SEPARATOR // = 0x0000\r\n",
        "   POPUP \"&More\"\r\n   {\r\n    MENUITEM \"&Clear list\", 212 // = 0x00D4\r\n   }\r\n  }\r\n",
        "  MENUITEM \"&Status bar\", 301, GRAYED, CHECKED // = 0x012D\r\n",
        " POPUP \"&Help\", HELP\r\n"})
    EXPECT_NE(t.find(line), std::string::npos) << line;
  EXPECT_EQ(t.substr(t.size() - 7), " }\r\n}\r\n");
  // One table entry per written line.
  EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), long(view.shown().lineIds.size()));

  // A line break in a menu's name shows as "." and keeps the lines and their ids together.
  std::vector<uint8_t> bytes = readFile(fixturePath("gui.exe"));
  const std::vector<uint8_t> name{'C', 0, 'O', 0, 'N', 0, 'T', 0};
  const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
  ASSERT_NE(at, bytes.end());
  at[2] = '\n';
  TempDir dir;
  writeFile(dir.file("newline.exe"), bytes);
  Opened n(dir.file("newline.exe"));
  view.open(n.doc);
  EXPECT_EQ(view.menus().lines[0].text, "\"C.NTEXT\"");
  EXPECT_EQ(view.shown().text.rfind("\"C.NTEXT\" MENU\r\n{\r\n", 0), 0u);
  const std::string& shown = view.shown().text;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), long(view.shown().lineIds.size()));
}

TEST(MenuResources, ReferenceLinesForTheCaretLine) {
  Opened o(fixturePath("gui.exe"));
  TMenuResourceView view;
  view.open(o.doc);
  TMenuRefStore store;
  TMenuRef ref(500, 0);
  ref.refs.add(TMIntType{0x630, 0});
  ref.refs.add(TMIntType{0x500, 0});
  store.add(std::move(ref));
  EXPECT_EQ(texts(view.referencesForLine(o.doc, 4, store, false)),
            (std::vector<std::string>{" 00000500  -  :00401100", " 00000630  -  :00401230"}));
  EXPECT_EQ(texts(view.referencesForLine(o.doc, 4, store, true)),
            std::vector<std::string>{"Still scanning..."});
  EXPECT_EQ(texts(view.referencesForLine(o.doc, 2, store, false)),
            std::vector<std::string>{"No menu item!"});
  EXPECT_EQ(texts(view.referencesForLine(o.doc, 5, store, false)),
            std::vector<std::string>{"No references found!"});
  EXPECT_TRUE(view.referencesForLine(o.doc, 99, store, false).empty());

  followResourceReference(o.doc, 0x630, RK_MENU);
  EXPECT_EQ(o.doc.view().topOffset, 0x630u);
  EXPECT_FALSE(o.doc.view().bits16);
  ASSERT_EQ(o.doc.history().count(), 1u);
  EXPECT_EQ(o.doc.history().getReturn(0).kind, uint32_t(RK_MENU));
}

// Both resource windows show the same title for a directory they cannot walk.
// The resource windows' titles for a directory they cannot walk.
TEST(Resources, BrokenDirectories) {
  const char* const kWrong = "Error: Wrong directory entry!";
  const char* const kEmpty = "Error: No resources inside resource directory!";
  struct Case {
    const char* what;
    const char* section;
    uint32_t resourceRva;                               // 0: no directory entry
    std::vector<std::pair<uint32_t, uint32_t>> dwords;  // (RVA, value) written first
    const char* menuTitle;
    bool noResourcesMessage;
    const char* stringTitle;
  } cases[] = {
      {"no resource directory in the file", ".text", 0x9000, {}, kWrong, true, kWrong},
      // Not the DOS header read as one.
      {"a resource RVA of 0 is no directory", ".text", 0, {}, kWrong, true, kWrong},
      // One ID entry, menus, whose subdirectory lies past the end of the file.
      {"a menu entry past the end of the file",
       ".rsrc",
       0x1000,
       {{0x100C, 1 << 16}, {0x1010, 4}, {0x1014, 0x800001F0}},
       "Error: Unexpected end of file!",
       false,
       ""},
      {"an empty root", ".rsrc", 0x1000, {}, kEmpty, false, kEmpty},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPeBuilder b;
    b.addSection(c.section, 0x1000, 0x1000, 0x200);
    if (c.resourceRva) b.setDirectory(2, c.resourceRva, 0x100);
    for (auto [rva, value] : c.dwords) b.put32(rva, value);
    TempDir dir;
    writeFile(dir.file("r.exe"), b.build());
    Opened o(dir.file("r.exe"));
    TMenuResourceView menus;
    menus.open(o.doc);
    EXPECT_EQ(menus.menus().title, c.menuTitle);
    EXPECT_EQ(menus.menus().noResourcesMessage, c.noResourcesMessage);
    EXPECT_TRUE(menus.menus().lines.empty());
    TStringResourceView strings;
    TStrRefStore store;
    strings.open(o.doc, store, false);
    EXPECT_EQ(strings.strings().title, c.stringTitle);
  }
}

}  // namespace
