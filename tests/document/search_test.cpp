// The search command over a loaded document: start rule, wrap questions,
// messages, history entries, listing moves and the context-menu searches.
#include <gtest/gtest.h>

#include <cstring>

#include "document/document.h"
#include "document/search_command.h"
#include "persist/profile_file.h"
#include "support/bytes_document.h"
#include "support/fixtures.h"
#include "support/pe_builder.h"

namespace {

// A loaded document over the given bytes.
struct TSearchDoc : TBytesDocument {
  explicit TSearchDoc(const std::vector<uint8_t>& bytes) : TBytesDocument(bytes) {
    host.messages.clear();
  }
};

std::vector<uint8_t> bytesWith(uint32_t size,
                               std::initializer_list<std::pair<uint32_t, const char*>> at) {
  std::vector<uint8_t> b(size, 0x90);
  for (auto& [offset, text] : at) std::memcpy(b.data() + offset, text, std::strlen(text));
  return b;
}

TSearchState searchFor(const std::string& phrase, int type) {
  TSearchState s;
  s.phrase = phrase;
  s.type = type;
  return s;
}

const char* const kFwd =
    "Reached end of file: Didn't find it!\nDo you want to continue the search at the begining of the file?";
const char* const kFwdExact =
    "Reached end of file: Didn't find the it!\nDo you want to continue the search at the begining of the file?";
const char* const kBwd =
    "Reached begining of file: Didn't find it!\nDo you want to continue the search at the end of the file?";
const char* const kBwdExact =
    "Reached begining of file: Didn't find the it!\nDo you want to continue the search at the end of the file?";
const char* const kScanned = "Whole file scanned: Didn't find it!";
constexpr uint32_t kMiss = SEARCH_NONE;

TEST(Search, OnePressFromTheTop) {
  // "MZ" at 0 and 0x40, "mz" at 0x80 in a 0x100-byte file.
  const auto bytes = bytesWith(0x100, {{0, "MZ"}, {0x40, "MZ"}, {0x80, "mz"}, {0xFD, "abc"}});
  struct Case {
    const char* name;
    const char* phrase;
    int type;
    const char* flags;  // c: case-sensitive, b: backward, 4: search mode 4
    uint32_t top;
    const char* answers;  // Y or N per question
    uint32_t hit;
    std::vector<std::string> messages;
  } cases[] = {
      {"start itself is skipped", "mz", ST_ASCII, "", 0, "", 0x40, {}},
      {"case-insensitive finds lower case", "MZ", ST_ASCII, "", 0x40, "", 0x80, {}},
      {"case-sensitive skips lower case", "MZ", ST_ASCII, "c", 0x40, "N", kMiss, {kFwdExact}},
      {"wrap then MZ at 0", "mz", ST_ASCII, "", 0x80, "Y", 0, {kFwd}},
      {"numbers wrap with the exact wording", "5A4D", ST_HEX, "", 0x40, "Y", 0, {kFwdExact}},
      {"wrap refused", "mz", ST_ASCII, "", 0x80, "N", kMiss, {kFwd}},
      {"nothing after the wrap either", "oxu", ST_ASCII, "", 0, "Y", kMiss, {kFwd, kScanned}},
      {"backward", "mz", ST_ASCII, "b", 0x80, "", 0x40, {}},
      {"backward from the top wraps to the end", "mz", ST_ASCII, "b", 0, "Y", 0x80, {kBwd}},
      {"backward exact wording", "mz", ST_ASCII, "cb", 0x40, "N", kMiss, {kBwdExact}},
      {"backward from above the last candidate", "abc", ST_ASCII, "cb", 0xFF, "", 0xFD, {}},
      {"Unicode needs its zero bytes", "MZ", ST_UNICODE, "", 0, "Y", kMiss, {kFwd, kScanned}},
      {"mode 4 begins at start itself", "MZ", ST_ASCII, "c4", 0x40, "", 0x40, {}},
      {"mode 4 never asks", "oxu", ST_ASCII, "c4", 0, "", kMiss, {kScanned}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchDoc d(bytes);
    for (const char* a = c.answers; *a; ++a)
      d.host.answers.push_back(*a == 'Y' ? MsgAnswer::Yes : MsgAnswer::No);
    d.doc.view().topOffset = c.top;
    TSearchState s = searchFor(c.phrase, c.type);
    const std::string flags = c.flags;
    s.caseSensitive = flags.find('c') != std::string::npos;
    s.backward = flags.find('b') != std::string::npos;
    const bool found = search(d.doc, s, c.top, flags.find('4') != std::string::npos ? 4 : 0);
    EXPECT_EQ(found, c.hit != kMiss);
    EXPECT_EQ(d.host.messageLines(), c.messages);
    EXPECT_TRUE(d.host.answers.empty());
    EXPECT_EQ(s.lastFound, c.hit);
    if (!found) {
      EXPECT_EQ(d.doc.history().count(), 0u);
      EXPECT_EQ(d.doc.view().topOffset, c.top);
      continue;
    }
    EXPECT_EQ(d.doc.view().highlight, c.hit);
    EXPECT_LE(d.doc.view().topOffset, c.hit);
    ASSERT_EQ(d.doc.history().count(), 1u);
    EXPECT_EQ(d.doc.history().getReturn(0), (ReturnEntry{RK_SEARCH, c.top, 0}));
  }
}

TEST(Search, MessagesBeforeAnySearch) {
  TSearchDoc d({1, 2, 3, 4});
  struct Case {
    const char* phrase;
    std::string message;
  } cases[] = {
      {"0102030405", "Small size problem ;D: Search item longer than file!!"},
      {"0102030",
       "Invalid byte list format: You have to enter a byte list!\n(i.e. 010203A405E607)"},
  };
  for (const auto& c : cases) {
    d.host.messages.clear();
    TSearchState s = searchFor(c.phrase, ST_BYTE_LIST);
    EXPECT_FALSE(search(d.doc, s, 0, 0));
    EXPECT_EQ(d.host.messageLines(), std::vector<std::string>{c.message});
    EXPECT_EQ(d.doc.history().count(), 0u);
  }
  // The whole file is the one candidate: skipped at first, found after the wrap.
  TSearchState s = searchFor("01020304", ST_BYTE_LIST);
  EXPECT_TRUE(search(d.doc, s, 0, 0));
  EXPECT_EQ(s.lastFound, 0u);
}

// The listing shows a hit 4 lines below its top; a second press must go on
// after the hit while it is on screen, and start from the top again once it
// is not.
TEST(Search, SecondPressGoesOnAfterTheShownHit) {
  const auto bytes = bytesWith(0x400, {{0x100, "abc"}, {0x110, "abc"}, {0x300, "abc"}});
  struct Case {
    const char* name;
    uint32_t shownLines;
    bool useLineHook;
    uint32_t topAfterHit;  // where the listing put its top
    uint32_t secondHit;
  } cases[] = {
      {"hit shown", 25, false, 0xC0, 0x110},
      {"hit shown, listing's own lines", 3, true, 0xC0, 0x110},
      {"only the top line counts", 0, false, 0xC0, 0x100},
      {"hit above the top", 25, false, 0x108, 0x110},
      {"hit below the shown lines", 2, false, 0xC0, 0x100},
      {"listing's lines end before the hit", 1, true, 0xC0, 0x100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchDoc d(bytes);
    TSearchState s = searchFor("abc", ST_ASCII);
    s.shownLines = c.shownLines;
    if (c.useLineHook)  // code lines of 32 bytes
      s.linesForward = [](uint32_t offset, uint32_t lines) { return offset + 32 * lines; };
    ASSERT_TRUE(searchAgain(d.doc, s));
    EXPECT_EQ(s.lastFound, 0x100u);
    d.doc.view().topOffset = c.topAfterHit;
    ASSERT_TRUE(searchAgain(d.doc, s));
    EXPECT_EQ(s.lastFound, c.secondHit);
    EXPECT_EQ(d.doc.history().getReturn(1).address, c.topAfterHit);
  }
}

TEST(Search, HexDumpMakesTheHitTheTopLine) {
  TSearchDoc d(bytesWith(0x100, {{0x33, "abc"}}));
  d.doc.view().hexDump = true;
  d.doc.view().topOffset = 0x10;
  TSearchState s = searchFor("abc", ST_ASCII);
  ASSERT_TRUE(searchAgain(d.doc, s));
  EXPECT_EQ(d.doc.view().topOffset, 0x33u);
  EXPECT_TRUE(d.doc.view().hexDump);
  EXPECT_EQ(d.doc.history().getReturn(0), (ReturnEntry{RK_SEARCH, 0x10, 1}));
}

TEST(Search, ContextMenuSearches) {
  TPeBuilder pe;
  pe.addSection(".text", 0x1000, 0x200, 0x200);
  pe.addSection(".data", 0x2000, 0x200, 0x200);
  pe.put32(0x2010, 0x00401020);  // a reference to .text + 0x20 (file offset 0x420)
  pe.put32(0x2040, 0xDEADBEEF);
  pe.put32(0x2080, 0xDEADBEEF);
  const auto bytes = pe.build();
  const uint32_t textAt = 0x400, dataAt = 0x600;
  struct Case {
    const char* name;
    bool (*run)(TDocument&, TSearchState&, uint32_t);
    uint32_t argument;
    const char* phrase;
    uint32_t hit;
  } cases[] = {
      {"address reference", searchAddressReference, textAt + 0x20, "00401020", dataAt + 0x10},
      {"dword at the offset: its first occurrence", searchDwordAt, dataAt + 0x80, "DEADBEEF",
       dataAt + 0x40},
      {"reference value", searchReferenceValue, 0xDEADBEEF, "DEADBEEF", dataAt + 0x40},
      {"dword beyond the file", searchDwordAt, uint32_t(0x800), "", kMiss},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSearchDoc d(bytes);
    d.doc.view().hexDump = true;
    d.doc.view().topOffset = 0x500;
    TSearchState s = searchFor("", ST_ASCII);
    s.backward = true;
    const bool found = c.run(d.doc, s, c.argument);
    EXPECT_EQ(found, c.hit != kMiss);
    EXPECT_EQ(s.phrase, c.phrase);
    if (!found) continue;
    EXPECT_EQ(s.type, ST_HEX);
    EXPECT_FALSE(s.backward);
    EXPECT_EQ(s.lastFound, c.hit);
    EXPECT_FALSE(d.doc.view().hexDump);  // the hit is shown as code
    EXPECT_EQ(d.doc.history().getReturn(0), (ReturnEntry{RK_SEARCH, 0x500, 1}));
    EXPECT_TRUE(d.host.messages.empty());
  }
}

TEST(Search, SwitchesInTheSettingsFile) {
  struct Case {
    const char* stored;  // the [Dialogs] lines
    int type;
    bool backward, caseSensitive;
  } cases[] = {
      {"", ST_HEX, false, false},
      {"SearchType=4\nSearchDir=1\nSearchCase=1\n", ST_UNICODE, true, true},
      // Out of range: the first choice.
      {"SearchType=5\nSearchDir=2\nSearchCase=7\n", ST_HEX, false, true},
      {"SearchType=-1\nSearchDir=-1\nSearchCase=0\n", ST_HEX, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    TempDir dir;
    TProfileFile profile(dir.file("OXU-DASM.INI"));
    const std::string text = std::string("[Dialogs]\n") + c.stored;
    writeFile(profile.path(), std::vector<uint8_t>(text.begin(), text.end()));
    TSearchState s = searchFor("", ST_ASCII);
    s.backward = !c.backward;
    readSearchSettings(profile, s);
    EXPECT_EQ(s.type, c.type);
    EXPECT_EQ(s.backward, c.backward);
    EXPECT_EQ(s.caseSensitive, c.caseSensitive);
    // Written back one digit each; read back the same.
    ASSERT_TRUE(writeSearchSettings(profile, s));
    EXPECT_EQ(profile.readString("Dialogs", "SearchType"), std::to_string(c.type));
    EXPECT_EQ(profile.readString("Dialogs", "SearchCase"), c.caseSensitive ? "1" : "0");
    TSearchState again;
    readSearchSettings(profile, again);
    EXPECT_EQ(again.backward, c.backward);
  }
}

}  // namespace
