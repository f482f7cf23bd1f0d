// The reference scanner on the committed fixtures (their facts as the
// oracle), on small built images for each rule, the indexed search against
// the plain sweep, and the check thread's start, stop and restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "analysis/scanner.h"
#include "analysis/scanner_images.h"
#include "base/text_format.h"
#include "support/fixtures.h"
#include "support/import_shapes.h"
#include "support/parsed_image.h"
#include "support/recording_host.h"

namespace {

struct TScanResult {
  TReferenceStores stores;
  RecordingHost host;
};

std::unique_ptr<TScanResult> scan(const std::vector<uint8_t>& bytes, TScanOptions options = {}) {
  auto r = std::make_unique<TScanResult>();
  TParsedImage image(bytes);
  options.yield = false;
  scanReferencesNow(image.bytes(), image.image.fileSize(), image.image, r->stores, r->host,
                    options);
  return r;
}

std::unique_ptr<TScanResult> scan(const TScanImageLayout& layout, TScanOptions options = {}) {
  return scan(layout.build(), options);
}

// Code at the start of .text (file offset 0x400, memory 0x401000), with string
// blocks, menus and functions imported from one module.
TScanImageLayout codeLayout(std::vector<uint8_t> code,
                            std::vector<TScanImageLayout::StringBundle> stringBundles = {},
                            std::vector<std::vector<uint8_t>> menus = {},
                            std::vector<std::string> imports = {}) {
  TScanImageLayout layout;
  layout.code = std::move(code);
  layout.stringBundles = std::move(stringBundles);
  layout.menus = std::move(menus);
  layout.imports = std::move(imports);
  return layout;
}

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

Pairs jumpCalls(const TReferenceStores& s) {
  Pairs out;
  for (uint32_t i = 0; i < s.jumpCalls.count(); ++i)
    out.emplace_back(s.jumpCalls[i].target, s.jumpCalls[i].source);
  return out;
}

std::vector<uint32_t> importRefs(const TReferenceStores& s, uint32_t slot) {
  std::vector<uint32_t> out;
  for (uint32_t i = 0; i < s.imports.count(); ++i)
    if (s.imports[i].iatAddress == slot)
      for (const TMInt& m : s.imports[i].refs) out.push_back(uint32_t(m.value));
  return out;
}

template <class Store>
Pairs idRefs(const Store& store, uint32_t id) {
  Pairs out;
  if (auto* r = store.findById(id))
    for (const TMIntType& m : r->refs) out.emplace_back(uint32_t(m.value), m.type);
  return out;
}

bool allUnlocked(const TReferenceStores& s) {
  for (auto k :
       {TRefStoreKind::JumpCall, TRefStoreKind::Import, TRefStoreKind::String, TRefStoreKind::Menu})
    if (s.locks.isLocked(k)) return false;
  return true;
}

bool jumpCallsSorted(const TReferenceStores& s) {
  const Pairs p = jumpCalls(s);
  return std::is_sorted(p.begin(), p.end(), [](auto a, auto b) {
    return std::pair{int32_t(a.first), int32_t(a.second)} <
           std::pair{int32_t(b.first), int32_t(b.second)};
  });
}

std::vector<uint8_t> le32(uint32_t v) {
  std::vector<uint8_t> b;
  pushLe32(b, v);
  return b;
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> nops(size_t n) { return std::vector<uint8_t>(n, 0x90); }

// Uses of import slots in gui.exe's .text (FACTS.md, "Instructions in .text
// whose bytes hold an import slot address"), and the direct call of the FixSub
// stub at 0x72E.
const std::vector<std::pair<uint32_t, uint32_t>> kGuiSlotUses = {
    {0x404124, 0x41C}, {0x40412C, 0x463}, {0x404130, 0x4A8}, {0x404108, 0x4D1}, {0x404110, 0x4ED},
    {0x4040F8, 0x507}, {0x404128, 0x54E}, {0x4040FC, 0x58C}, {0x404118, 0x5A0}, {0x40413C, 0x5B3},
    {0x404104, 0x5D1}, {0x4040EC, 0x616}, {0x4040E4, 0x633}, {0x4040F0, 0x643}, {0x4040E8, 0x652},
    {0x40412C, 0x66D}, {0x4040D0, 0x675}, {0x4040D8, 0x67F}, {0x40411C, 0x6B5}, {0x404134, 0x6D8},
    {0x404120, 0x6FE}, {0x404124, 0x719}, {0x4040CC, 0x73E}, {0x404100, 0x764}, {0x404138, 0x77D},
    {0x404114, 0x7A0}, {0x404140, 0x7AE}, {0x40410C, 0x7B5}, {0x4040E0, 0x7CA}, {0x4040D4, 0x840},
    {0x4040D4, 0x72E},
};

// Immediates equal to a string or menu ID (FACTS.md): offset, mnemonic, ID, menu.
struct TIdUse {
  uint32_t offset;
  const char* mnemonic;
  uint32_t id;
  bool menu;
};
const TIdUse kGuiIdUses[] = {
    {0x42B, "push", 1, false},    {0x49A, "cmp", 2, false},     {0x4B6, "cmp", 212, true},
    {0x4BD, "cmp", 300, true},    {0x4C5, "cmp", 203, true},    {0x4E4, "xor", 1, false},
    {0x501, "push", 300, true},   {0x532, "mov", 16385, false}, {0x5B0, "push", 2, false},
    {0x5E6, "cmp", 1, false},     {0x5F1, "or", 1, false},      {0x603, "cmp", 1, false},
    {0x60E, "or", 2, false},      {0x6E3, "mov", 1, false},     {0x711, "push", 1, false},
    {0x76F, "mov", 2, false},     {0x786, "mov", 2, false},     {0x7D9, "cmp", 400, true},
    {0x7E0, "cmp", 99, true},     {0x7E5, "mov", 200, true},    {0x7EC, "cmp", 2, false},
    {0x7F1, "add", 1000, false},  {0x7F7, "mov", 17, false},    {0x7FD, "push", 1003, false},
    {0x80B, "and", 16385, false}, {0x810, "mov", 40, false},    {0x815, "test", 1, false},
    {0x81C, "add", 1, false},     {0x826, "cmp", 300, true},    {0x82E, "cmp", 311, true},
    {0x836, "mov", 1, false},
};

uint8_t kindOf(const std::string& m) {
  if (m == "add") return 1;
  if (m == "and" || m == "or" || m == "xor" || m == "test") return 2;
  return 0;
}

// Import, ID and branch uses in gui.exe against its facts, and the summary.
TEST(ScannerFixture, GuiUsesAndSummary) {
  auto r = scan(readFixture("gui.exe"));
  const TReferenceStores& s = r->stores;
  EXPECT_EQ(s.imports.count(), 28u);  // every import is used
  // The facts' uses and one credit, a jump to a use of the same import:
  // 0x65D jumps to the ORD 3 call at 0x675.
  std::set<std::pair<uint32_t, uint32_t>> expected(kGuiSlotUses.begin(), kGuiSlotUses.end()), got;
  expected.insert({0x4040D0, 0x65D});
  for (uint32_t i = 0; i < s.imports.count(); ++i)
    for (const TMInt& m : s.imports[i].refs) got.emplace(s.imports[i].iatAddress, m.value);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(importRefs(s, 0x4040D0), (std::vector<uint32_t>{0x65D, 0x675}));
  // Records name the module and the function by the file offsets of their texts.
  const TImpRef* tick = s.imports.findByUser(0x616);  // KERNEL32.dll's GetTickCount
  ASSERT_NE(tick, nullptr);
  EXPECT_EQ((Pairs{{tick->moduleName, tick->function}}), (Pairs{{0x1118, 0xF9C}}));

  std::map<uint32_t, Pairs> strings, menus;
  for (const TIdUse& u : kGuiIdUses) {
    if (std::string(u.mnemonic) == "cmp") continue;  // compares are not uses
    (u.menu ? menus : strings)[u.id].emplace_back(u.offset, kindOf(u.mnemonic));
  }
  std::map<uint32_t, Pairs> foundStrings, foundMenus;
  for (uint32_t i = 0; i < s.strings.count(); ++i)
    foundStrings[s.strings[i].id] = idRefs(s.strings, s.strings[i].id);
  for (uint32_t i = 0; i < s.menus.count(); ++i)
    foundMenus[s.menus[i].id] = idRefs(s.menus, s.menus[i].id);
  EXPECT_EQ(foundStrings, strings);
  EXPECT_EQ(foundMenus, menus);
  // Text offsets: the length word of string 1, the text of menu item 200.
  EXPECT_EQ(s.strings.findById(1)->textOffset, 0x17AAu);
  EXPECT_EQ(s.menus.findById(200)->textOffset, 0x160Eu);

  EXPECT_TRUE(jumpCallsSorted(s));
  EXPECT_TRUE(allUnlocked(s));
  const Pairs jumps = jumpCalls(s);
  for (uint32_t i = 0; i < s.jumpCalls.count(); ++i) EXPECT_EQ(s.jumpCalls[i].kind, 1);
  // The call of the FixSub stub (FACTS.md symbol table), the credit's jump,
  // and branches to the named functions.
  for (auto p : Pairs{{0x840, 0x72E}, {0x675, 0x65D}})
    EXPECT_NE(std::find(jumps.begin(), jumps.end(), p), jumps.end()) << std::hex << p.second;
  for (uint32_t target : {0x400u, 0x7D0u, 0x807u, 0x822u})
    EXPECT_NE(s.jumpCalls.findFirst(target), NOT_FOUND) << std::hex << target;

  // 28 imports, the 31 uses of the facts plus one credit, 18 string and 2
  // menu uses (the facts' rows without the compares).
  ASSERT_FALSE(r->host.statusTexts.empty());
  EXPECT_EQ(r->host.statusTexts.front(), "");
  EXPECT_EQ(r->host.statusTexts.back(),
            "28 imports, 32 import refs, " + std::to_string(s.jumpCalls.count()) +
                " jump and call refs, 18 string refs, 2 menuitem refs found!");
  EXPECT_TRUE(r->host.messages.empty());
}

TEST(ScannerCodePass, CandidateAndTargetRules) {
  struct Case {
    const char* name;
    std::vector<uint8_t> code;
    bool extreme;
    Pairs expected;  // (target, source) as file offsets
    std::vector<uint32_t> textRepeats = {};
  };
  const Case cases[] = {
      {"call E8 rel 0", {0xE8, 0, 0, 0, 0}, false, {{0x405, 0x400}}},
      {"short jmp", {0xEB, 0x02}, false, {{0x404, 0x400}}},
      {"near jz", {0x0F, 0x84, 0x10, 0, 0, 0}, false, {{0x416, 0x400}}},
      {"jecxz counts as a jump", {0xE3, 0x00}, false, {{0x402, 0x400}}},
      {"loop is no jump", {0xE2, 0x00}, false, {}},
      {"cs-prefixed jz", {0x2E, 0x74, 0x00}, false, {}},
      {"ds-prefixed jz", {0x3E, 0x74, 0x00}, false, {}},
      {"operand-size jz", {0x66, 0x74, 0x00}, false, {}},
      {"fs-prefixed call", {0x64, 0xE8, 0, 0, 0, 0}, false, {}},
      {"indirect jmp FF /4", {0xFF, 0x25, 0x00, 0x10, 0x40, 0x00}, false, {}},
      {"indirect call FF /2", {0xFF, 0x15, 0x00, 0x10, 0x40, 0x00}, false, {}},
      {"call inside mov, linear", {0xB8, 0xE8, 0, 0, 0, 0}, false, {}},
      {"call inside mov, extreme", {0xB8, 0xE8, 0, 0, 0, 0}, true, {{0x406, 0x401}}},
      {"backward jump", {0x90, 0xEB, 0xFD}, false, {{0x400, 0x401}}},
      {"lock-prefixed jmp", {0xF0, 0xEB, 0x00}, false, {}},
      {"rep before a call: db F3, then the call", {0xF3, 0xE8, 0, 0, 0, 0}, false, {{0x406, 0x401}}},
      // The far jump's text shows its selector first: that is what is read.
      {"far jmp EA", {0xEA, 0, 0, 0, 0, 0x34, 0x12}, false, {{0x1234u + 0x400 - 0x401000, 0x400}}},
      {"three headers name the call's bytes: one record",
       {0xE8, 0, 0, 0, 0},
       false,
       {{0x405, 0x400}},
       {0, 0}},
  };
  for (const Case& c : cases) {
    TScanImageLayout layout = codeLayout(c.code);
    layout.textRepeats = c.textRepeats;
    EXPECT_EQ(jumpCalls(scan(layout, {.extreme = c.extreme})->stores), c.expected) << c.name;
  }
}

TEST(ScannerImports, SlotUsesThunksAndCredits) {
  const uint32_t s0 = TScanImageLayout::slot(0), s1 = TScanImageLayout::slot(1);
  struct Case {
    const char* name;
    std::vector<uint8_t> code;
    std::map<uint32_t, std::vector<uint32_t>> expected;  // slot -> refs
    std::vector<uint32_t> textRepeats = {};
  };
  const Case cases[] = {
      {"call through the slot", cat({nops(4), {0xFF, 0x15}, le32(s0)}), {{s0, {0x404}}}},
      {"mov from the slot", cat({nops(8), {0x8B, 0x0D}, le32(s0)}), {{s0, {0x408}}}},
      {"slot in the first two bytes", cat({le32(s0)}), {{s0, {0x400}}}},
      {"slot at the second byte", cat({{0x90}, le32(s0)}), {{s0, {0x401}}}},
      // Thunk at 0x410, called directly from 0x400; its address taken at 0x420.
      {"thunk, call of the thunk, address of the thunk",
       cat({{0xE8, 0x0B, 0, 0, 0},
            nops(11),
            {0xFF, 0x25},
            le32(s0),
            nops(10),
            {0xB8},
            le32(0x401010)}),
       {{s0, {0x400, 0x410, 0x420}}}},
      // A thunk address used by another thunk is recorded, not followed.
      {"nested thunk is recorded only",
       cat({nops(16), {0xFF, 0x25}, le32(s0), nops(10), {0xFF, 0x25}, le32(0x401010)}),
       {{s0, {0x410, 0x420}}}},
      {"two imports, one unused", cat({nops(4), {0xFF, 0x15}, le32(s1)}), {{s1, {0x404}}}},
      {"no use at all", nops(16), {}},
      {"a second header over .text from its third byte: one use",
       cat({nops(4), {0xFF, 0x15}, le32(s0)}),
       {{s0, {0x404}}},
       {2}},
  };
  for (const Case& c : cases) {
    TScanImageLayout layout = codeLayout(c.code, {}, {}, {"First", "Second"});
    layout.textRepeats = c.textRepeats;
    for (bool indexed : {true, false}) {
      auto r = scan(layout, {.indexed = indexed});
      std::map<uint32_t, std::vector<uint32_t>> got;
      for (uint32_t i = 0; i < r->stores.imports.count(); ++i)
        got[r->stores.imports[i].iatAddress] = importRefs(r->stores,
                                                          r->stores.imports[i].iatAddress);
      EXPECT_EQ(got, c.expected) << c.name << (indexed ? " (indexed)" : " (sweep)");
    }
  }
}

// 50000 descriptors whose thunk lists run on through the table: the pass
// takes no more thunks than the parse does, and still finds the one use.
TEST(ScannerImports, OverlappingDescriptorsEndWithinTheAllowance) {
  std::vector<uint8_t> bytes = buildOverlappingDescriptors(50000);
  const std::vector<uint8_t> call = cat({{0xFF, 0x15}, le32(0x400000 + kShapeIdataRva)});
  std::copy(call.begin(), call.end(), bytes.begin() + 0x400);  // start of .text
  auto r = scan(bytes);
  EXPECT_TRUE(allUnlocked(r->stores));
  EXPECT_EQ(importRefs(r->stores, 0x400000 + kShapeIdataRva), std::vector<uint32_t>{0x400});
  EXPECT_EQ(r->stores.imports.count(), 1u);
}

TEST(ScannerIds, OperandRulesAndRefKinds) {
  struct Case {
    const char* name;
    std::vector<uint8_t> code;
    uint32_t id;
    Pairs expected;  // (offset, refKind)
  };
  const Case cases[] = {
      {"push byte", {0x6A, 0x05}, 5, {{0x400, 0}}},
      {"compare", {0x83, 0xF8, 0x05}, 5, {}},
      {"add dword", {0x05, 0x05, 0, 0, 0}, 5, {{0x400, 1}}},
      {"and dword behind a mark", {0x25, 0x05, 0, 0, 0}, 5, {{0x400, 2}}},
      {"push dword behind a mark", {0x68, 0x34, 0x12, 0, 0}, 0x1234, {{0x400, 0}}},
      {"shl by the value", {0xC1, 0xE0, 0x05}, 5, {{0x400, 1}}},
      {"sub", {0x83, 0xE8, 0x05}, 5, {{0x400, 1}}},
      {"test dword", {0xA9, 0x34, 0x12, 0, 0}, 0x1234, {{0x400, 2}}},
      {"jump by 5", {0x74, 0x05}, 5, {}},
      {"displacement is no operand", {0x8B, 0x45, 0x05}, 5, {}},
      {"part of a longer number", {0x68, 0x05, 0x01, 0, 0}, 5, {}},
      {"two instructions", {0x6A, 0x05, 0x6A, 0x05}, 5, {{0x400, 0}, {0x402, 0}}},
      {"same instruction twice",
       {0xC7, 0x05, 0x34, 0x12, 0, 0, 0x34, 0x12, 0, 0},
       0x1234,
       {{0x400, 0}}},
  };
  for (const Case& c : cases) {
    const TScanImageLayout layout =
        codeLayout(cat({nops(0x40), c.code}),
                   {{1, {"", "", "", "", "", "five"}}, {0x124, {"", "", "", "", "x1234"}}});
    for (auto& e : const_cast<Pairs&>(c.expected)) e.first += 0x40;
    for (bool indexed : {true, false})
      EXPECT_EQ(idRefs(scan(layout, {.indexed = indexed})->stores.strings, c.id), c.expected)
          << c.name;
  }
}

TEST(ScannerIds, ShortStringBlockEndsTheStringPass) {
  TScanImageLayout layout = codeLayout(cat({nops(0x40), {0x6A, 0x05, 0x6A, 0x11}}),
                                       {{1, {"", "", "", "", "", "five"}}, {2, {"", "seventeen"}}});
  EXPECT_EQ(scan(layout)->stores.strings.count(), 2u);
  // The directory names bundle 1's data once more: the same strings, recorded once.
  layout.stringBundles.push_back({1, {}, 0, 1});
  EXPECT_EQ(scan(layout)->stores.strings.count(), 2u);
  layout.stringBundles[0].sizeOverride = 9;
  EXPECT_EQ(scan(layout)->stores.strings.count(), 0u);
}

TEST(ScannerIds, MenuNestingStopsAtNineLevels) {
  // Every ID 1001.. is pushed somewhere in code, so the menu store lists the
  // items the walk reached.
  std::vector<uint8_t> code = nops(0x40);
  for (uint32_t id = 1001; id <= 1010; ++id) code = cat({code, {0x68}, le32(id)});
  auto reached = [&](const std::vector<uint8_t>& menu) {
    auto r = scan(codeLayout(code, {}, {menu}));
    std::vector<uint32_t> ids;
    for (uint32_t i = 0; i < r->stores.menus.count(); ++i) ids.push_back(r->stores.menus[i].id);
    return ids;
  };
  const auto shallow = menuTemplate({{0, -1, "&File"},
                                     {0, 1001, "&New"},
                                     {0, 0, ""},
                                     {0, -1, "&Recent"},
                                     {0x80, 1002, "one"},
                                     {0x80, 1003, "E&xit"},
                                     {0x80, 1004, "&Help"}});
  EXPECT_EQ(reached(shallow), (std::vector<uint32_t>{1001, 1002, 1003, 1004}));
  // Two items with one command ID are two records with the same uses.
  EXPECT_EQ(reached(menuTemplate({{0, 1001, "a"}, {0x80, 1001, "b"}})),
            (std::vector<uint32_t>{1001, 1001}));

  // Ten popups deep: the ninth level cannot open, so the end marks inside
  // close the outer levels early and the last top-level item is never read.
  std::vector<TMenuEntry> deep = {{0, -1, "outer"}};
  deep.insert(deep.end(), 10, {0x80, -1, "p"});
  deep.insert(deep.end(), {{0x80, 1001, "inner"}, {0x80, 1009, "last"}});
  EXPECT_EQ(reached(menuTemplate(deep)), (std::vector<uint32_t>{1001}));
}

TEST(ScannerIds, MenuIdsNeedTheCodeBitAndSkipDataBytes) {
  // A push of the ID in a section with only the execute bit: strings are
  // found there, menu commands are not.
  TScanImageLayout layout = codeLayout(cat({nops(0x40), {0x68, 0xE9, 0x03, 0, 0}}),
                                       {{63, {"", "", "", "", "", "", "", "", "thousand"}}},
                                       {menuTemplate({{0x80, 1001, "x"}})});
  layout.codeCharacteristics = 0x60000000;
  auto r = scan(layout);
  EXPECT_EQ(idRefs(r->stores.strings, 1000), (Pairs{}));
  EXPECT_EQ(r->stores.menus.count(), 0u);
  layout.stringBundles = {{63, {"", "", "", "", "", "", "", "", "", "x"}}};  // ID 1001
  r = scan(layout);
  EXPECT_EQ(idRefs(r->stores.strings, 1001), (Pairs{{0x440, 0}}));
}

TEST(ScannerReport, SummaryLine) {
  struct Case {
    uint32_t codeCharacteristics;
    bool stopped;     // asked to stop before it began: it has not looked anywhere
    bool leftLocked;  // two flags still set from an earlier scan: reported, then cleared
    const char* status;
  } cases[] = {
      {0x40000040, false, false, "No code refs found at all! Check the sections' code flag!"},
      {0x60000020, false, false,
       "0 imports, 0 import refs, 1 jump and call refs, 0 string refs, 0 menuitem refs found!"},
      {0x60000020, true, false, ""},  // the cleared status text stays
      {0x60000020, false, true,
       "0 imports, 0 import refs, 1 jump and call refs, 0 string refs, 0 menuitem refs found!"},
  };
  for (const auto& c : cases) {
    TScanImageLayout layout = codeLayout({0xE8, 0, 0, 0, 0});
    layout.codeCharacteristics = c.codeCharacteristics;
    TParsedImage image(layout.build());
    TScanSnapshot snapshot(image.bytes(), image.image.fileSize(), image.image);
    TReferenceStores stores;
    RecordingHost host;
    const std::atomic<bool> stop{c.stopped};
    if (c.leftLocked) {
      stores.locks.lock(TRefStoreKind::Import);
      stores.locks.lock(TRefStoreKind::Menu);
    }
    prepareReferenceScan(stores, snapshot.image(), host);
    runReferenceScan(snapshot, stores, host, {}, &stop);
    EXPECT_EQ(host.statusTexts.back(), c.status) << c.codeCharacteristics << " " << c.stopped;
    const std::vector<std::string> reported = {"Error:: imprefs is still locked!!!",
                                               "Error:: menurefs is still locked!!!"};
    EXPECT_EQ(host.messageLines(), c.leftLocked ? reported : std::vector<std::string>{});
    EXPECT_TRUE(allUnlocked(stores));
  }
}

TEST(ScannerReport, MalformedHeadersEndTheScanQuietly) {
  auto gui = readFixture("gui.exe");
  // Cuts inside the PE header, the section table, .text, the imports and the resources.
  for (size_t cut : {0x90u, 0x100u, 0x200u, 0x500u, 0xE10u, 0x1000u, 0x1450u, 0x1600u, 0x1A00u}) {
    std::vector<uint8_t> bytes(gui.begin(), gui.begin() + cut);
    auto r = scan(bytes);
    EXPECT_TRUE(allUnlocked(r->stores)) << cut;
    EXPECT_TRUE(r->host.messages.empty()) << cut;
    EXPECT_TRUE(jumpCallsSorted(r->stores)) << cut;
  }
}

// Random code sprinkled with uses of import slots, thunks, string and menu IDs.
std::vector<uint8_t> busyImage(uint32_t seed, uint32_t codeSize, uint32_t importCount) {
  std::mt19937 rng(seed);
  TScanImageLayout layout;
  for (uint32_t i = 0; i < importCount; ++i) layout.imports.push_back(wsString("F%u", i));
  layout.code.resize(codeSize);
  for (auto& b : layout.code) b = uint8_t(rng());
  std::vector<uint32_t> ids = {1, 2, 5, 17, 40, 99, 127, 128, 200, 1000, 0x1234, 0x4001};
  auto put = [&](const std::vector<uint8_t>& bytes) {
    const uint32_t at = rng() % (codeSize - 16);
    std::copy(bytes.begin(), bytes.end(), layout.code.begin() + at);
    return at;
  };
  for (int i = 0; i < int(codeSize / 64); ++i) {
    const uint32_t id = ids[rng() % ids.size()];
    switch (rng() % 6) {
      case 0: put(cat({{0x68}, le32(id)})); break;
      case 1:
        if (id < 128) put({0x6A, uint8_t(id)});
        break;
      case 2: put(cat({{0xFF, 0x15}, le32(TScanImageLayout::slot(rng() % importCount))})); break;
      case 3: {
        const uint32_t at =
            put(cat({{0xFF, 0x25}, le32(TScanImageLayout::slot(rng() % importCount))}));
        put(cat({{0xB8}, le32(0x401000 + at)}));
        break;
      }
      case 4: put(cat({{0x25}, le32(id)})); break;
      default: put({0x83, 0xC0, uint8_t(id)}); break;
    }
  }
  layout.stringBundles = {{1, {"", "a", "b", "", "", "e", "", "", "", "", "", "", "", "", "", ""}},
                          {2, {"", "q"}},
                          {3, {"", "", "", "", "", "", "", "", "x"}},
                          {63, {"", "", "", "", "", "", "", "", "k"}},
                          {0x124, {"", "", "", "", "z"}},
                          {0x401, {"", "last"}}};
  layout.menus = {menuTemplate({{0, -1, "A"},
                                {0, 99, "a"},
                                {0, 127, "b"},
                                {0x80, 128, "c"},
                                {0, 200, "d"},
                                {0x80, 1000, "e"}})};
  return layout.build();
}

void expectIndexedEqualsSweep(const std::vector<uint8_t>& bytes, const std::string& name) {
  for (bool extreme : {false, true}) {
    auto a = scan(bytes, {.extreme = extreme});
    auto b = scan(bytes, {.extreme = extreme, .indexed = false});
    EXPECT_EQ(storeText(a->stores), storeText(b->stores))
        << name << (extreme ? " extreme" : " linear");
    EXPECT_EQ(a->host.statusTexts, b->host.statusTexts) << name;
  }
}

// Files without a PE header are 32-bit code from their first byte: the targets
// of jumps in dos.exe's MZ header and at raw.bin's start (EB 04) are found.
TEST(ScannerIndexed, SameStoresAsTheSweepOnFixturesAndMingwDlls) {
  const std::pair<const char*, uint32_t> fixtures[] = {
      {"gui.exe", 0}, {"fixdll.dll", 0}, {"tiny.exe", 0}, {"dos.exe", 4}, {"raw.bin", 6}};
  for (auto [f, target] : fixtures) {
    expectIndexedEqualsSweep(readFixture(f), f);
    if (target) {
      EXPECT_NE(scan(readFixture(f))->stores.jumpCalls.findFirst(target), NOT_FOUND) << f;
    }
  }
  for (const char* dir : {"/usr/lib/gcc/i686-w64-mingw32/12-win32", "/usr/i686-w64-mingw32/lib"}) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
      if (e.path().extension() == ".dll")
        expectIndexedEqualsSweep(readFile(e.path().string()), e.path().filename().string());
  }
}

TEST(ScannerIndexed, SameStoresAsTheSweepOnBusyImages) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    auto bytes = busyImage(seed, 0x8000, 24);
    expectIndexedEqualsSweep(bytes, "busy " + std::to_string(seed));
    auto r = scan(bytes);
    EXPECT_GT(r->stores.strings.count(), 0u);
    EXPECT_GT(r->stores.menus.count(), 0u);
    EXPECT_GT(r->stores.imports.count(), 0u);
  }
}

// A scan that takes long with the plain sweep (every byte position once per import).
const std::vector<uint8_t>& slowImage() {
  static const std::vector<uint8_t> bytes = busyImage(7, 0x400000, 300);
  return bytes;
}

// Starts the plain sweep, the slow kind of scan, on the check thread.
void startSweep(TCheckThread& thread, TParsedImage& image, TReferenceStores& stores, Host& host) {
  thread.startCheckThread(image.bytes(), image.image.fileSize(), image.image, stores, host,
                          {.indexed = false});
}

TEST(CheckThread, StopOrDestroyMidScanLeavesEveryFlagClear) {
  TParsedImage image(slowImage());
  for (bool destroy : {false, true}) {
    RecordingHost host;
    TReferenceStores stores;
    {
      TCheckThread thread;
      startSweep(thread, image, stores, host);
      EXPECT_TRUE(stores.locks.isLocked(TRefStoreKind::Import));  // set before the thread runs
      std::this_thread::sleep_for(std::chrono::milliseconds(destroy ? 10 : 30));
      if (!destroy) {
        EXPECT_TRUE(thread.running());
        thread.stopCheckThread();
        EXPECT_FALSE(thread.running());
        thread.stopCheckThread();  // nothing running: nothing happens
      }
    }
    EXPECT_TRUE(allUnlocked(stores)) << destroy;
    EXPECT_TRUE(jumpCallsSorted(stores)) << destroy;
    EXPECT_TRUE(host.messages.empty()) << destroy;  // no "Terminating thread manually"
    EXPECT_NE(host.statusTexts.back(), "No code refs found at all! Check the sections' code flag!");
  }
}

TEST(CheckThread, RestartWhileRunningGivesTheCompleteResult) {
  TParsedImage image(busyImage(3, 0x40000, 200));
  RecordingHost host;
  TReferenceStores stores;
  std::vector<TRefStoreKind> notices;
  std::mutex noticeLock;
  {
    TCheckThread thread;
    startSweep(thread, image, stores, host);
    thread.startCheckThread(image.bytes(), image.image.fileSize(), image.image, stores, host, {},
                            [&](TRefStoreKind k) {
                              std::lock_guard l(noticeLock);
                              notices.push_back(k);
                            });
    thread.waitCheckThread();
    EXPECT_FALSE(thread.running());
  }
  auto reference = scan(busyImage(3, 0x40000, 200));
  EXPECT_EQ(storeText(stores), storeText(reference->stores));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(notices, (std::vector<TRefStoreKind>{TRefStoreKind::JumpCall, TRefStoreKind::Import,
                                                 TRefStoreKind::String, TRefStoreKind::Menu}));
  EXPECT_EQ(host.statusTexts.back(), reference->host.statusTexts.back());
}

}  // namespace
