#include "analysis/return_manager.h"

#include <gtest/gtest.h>

#include "base/le_read.h"
#include "support/recording_host.h"

namespace {

// A PE listing whose code section lies at raw offset 0x400, RVA 0x1000,
// image base 0x400000.
struct FakeView : TReturnView {
  uint32_t position = 0;
  bool hex = false;
  bool program = true;
  uint32_t currentPosition() const override { return position; }
  bool showsHexDump() const override { return hex; }
  bool showsProgramOffsets() const override { return program; }
  uint32_t shownAddress(uint32_t off) const override {
    if (!program) return off;
    return off >= 0x400 ? off - 0x400 + 0x401000 : 0xFFFFFFFFu;
  }
};

struct History {
  RecordingHost host;
  FakeView view;
  TReturnManager rm{host, &view};
  int changes = 0;
  History() {
    rm.setChangedHandler([this] { ++changes; });
  }

  std::vector<uint32_t> addresses() {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < rm.count(); ++i) out.push_back(rm.getReturn(i).address);
    return out;
  }
  // Pushes without an address: each takes the view's current position.
  void pushAll(std::initializer_list<uint32_t> addrs) {
    for (uint32_t a : addrs) {
      view.position = a;
      rm.pushReturn(RK_GOTO);
    }
  }
};

TEST(ReturnManager, RemovalAndPopLeaveTheOlderEntries) {
  struct Case {
    const char* what;
    uint32_t wraps;  // pushes made before A, B, C so that the ring has wrapped
    int op;          // 0 removeReturnsDownto(arg), 1 popReturnsTo(arg)
    uint32_t arg;
    uint32_t result;  // removed entry's address, or popReturnsTo's result
    std::vector<uint32_t> left;
    std::vector<std::string> messages;
  };
  const uint32_t A = 0xA, B = 0xB, C = 0xC;
  const std::string outOfBounds = "TReturnManager::removeReturnsDownto(): Index out of bounds!";
  const std::vector<Case> cases = {
      {"newest", 0, 0, 0, C, {A, B}, {}},
      {"second line", 0, 0, 1, B, {A}, {}},
      {"oldest", 0, 0, 2, A, {}, {}},
      {"out of bounds empties", 0, 0, 3, A, {}, {outOfBounds}},
      {"wrapped, second line", 70, 0, 1, B, {}, {}},
      {"pop to B", 0, 1, B, 1, {A}, {}},
      {"pop to newest duplicate", 0, 1, A, 1, {A, B, C}, {}},
      {"pop to missing", 0, 1, 0x77, 0, {A, B, C, A}, {}},
      {"wrapped, pop to C", 70, 1, C, 1, {}, {}},
  };
  for (const auto& c : cases) {
    History h;
    for (uint32_t i = 0; i < c.wraps; ++i) h.rm.pushReturn(RK_JUMP, 0x1000 + i);
    h.pushAll({A, B, C});
    if (c.op == 1 && c.wraps == 0) h.rm.pushReturn(RK_GOTO, A);
    uint32_t result = c.op == 0 ? h.rm.removeReturnsDownto(c.arg).address
                                : uint32_t(h.rm.popReturnsTo(c.arg));
    EXPECT_EQ(result, c.result) << c.what;
    std::vector<uint32_t> left = h.addresses();
    if (c.wraps) {
      // The wrapped ring keeps the newest 64 of its 73 pushes and ends with the older ones.
      ASSERT_GE(left.size(), 61u) << c.what;
      EXPECT_EQ(left.front(), 0x1000u + 9) << c.what;
      EXPECT_EQ(left.back(), c.op == 0 ? A : B) << c.what;
    } else {
      EXPECT_EQ(left, c.left) << c.what;
    }
    EXPECT_EQ(h.host.messageLines(), c.messages) << c.what;
  }
}

TEST(ReturnManager, EntryTextsInBothAddressDisplays) {
  struct Case {
    uint32_t kind, address;
    bool program;
    const char* text;
  };
  const std::vector<Case> cases = {
      {RK_CALL, 0x400, true, "CALL:\t:00401000"},
      {RK_CALL, 0x400, false, "CALL:\t 00000400"},
      {RK_JUMP, 0x1234, true, "JUMP:\t:00401E34"},
      {RK_GOTO, 0x10, false, "GOTO:\t 00000010"},
      {RK_SEARCH, 0x10, true, "SEARCH:\t:FFFFFFFF"},  // outside the image
      {RK_SECTION, 0x400, false, "SECTION:\t 00000400"},
      {RK_IMPORT, 0x400, false, "IMPORT:\t 00000400"},
      {RK_EXPORT, 0x400, false, "EXPORT:\t 00000400"},
      {RK_MENU, 0x400, false, "MENU:\t 00000400"},
      {RK_STRING, 0x400, false, "STRING:\t 00000400"},
      {RK_RET, 0xABCDEF, false, "RET:\t 00ABCDEF"},
      {10, 0x400, true, "UNKNOWN:\t:00401000"},
      {0xFFFFFFFF, 0x400, false, "UNKNOWN:\t 00000400"},
  };
  for (const auto& c : cases) {
    History h;
    h.view.program = c.program;
    h.rm.pushReturn(c.kind, c.address);
    EXPECT_EQ(h.rm.entryText(0), c.text);
    char text[50];
    h.rm.getLastRetString(text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
}

TEST(ReturnManager, LastStringListLinesAndIndexOutOfBounds) {
  History h;
  h.view.program = false;
  struct Case {
    size_t size;
    const char* text;
    size_t messages;
  };
  for (auto c : std::vector<Case>{{50, "No returns available", 0},
                                  {25, "No returns available", 0},
                                  {24, "", 1},
                                  {1, "", 1}}) {
    h.host.messages.clear();
    char text[50] = "junk";
    h.rm.getLastRetString(text, c.size);
    EXPECT_STREQ(text, c.text) << c.size;
    ASSERT_EQ(h.host.messages.size(), c.messages);
    if (c.messages) {
      EXPECT_EQ(h.host.messageLines()[0],
                "TReturnManager::getLastRetString(): String size too small??");
    }
  }
  h.rm.getLastRetString(nullptr, 0);  // nothing written, only the message

  h.rm.pushReturn(RK_CALL, 1);
  h.rm.pushReturn(RK_JUMP, 2);
  h.rm.pushReturn(RK_RET, 3);
  EXPECT_EQ(h.rm.listLines(),
            (std::vector<std::string>{"RET:\t 00000003", "JUMP:\t 00000002", "CALL:\t 00000001"}));
  // An index beyond the entries, or beyond the ring, is reported and gives the oldest slot.
  h.host.messages.clear();
  for (uint32_t i : {3u, 64u, 1000u}) EXPECT_EQ(h.rm.getReturn(i).address, 1u) << i;
  EXPECT_EQ(h.host.messageLines(),
            std::vector<std::string>(3, "TReturnManager::getReturn(): Index out of bounds!"));
}

std::vector<uint8_t> body(uint8_t count, uint8_t first, std::vector<uint32_t> addresses) {
  std::vector<uint8_t> b{count, first};
  for (uint32_t a : addresses) {
    uint8_t rec[12];
    writeLe32(rec, RK_GOTO);
    writeLe32(rec + 4, a);
    writeLe32(rec + 8, a & 1);
    b.insert(b.end(), rec, rec + 12);
  }
  return b;
}

TEST(ReturnManager, ProjectBodyRoundTripKeepsLiveEntries) {
  struct Case {
    const char* what;
    uint32_t pushes;
    uint32_t removeDownto;  // 0 = none, else removeReturnsDownto(n - 1)
    uint8_t writtenFirst;
  };
  const std::vector<Case> cases = {
      {"empty", 0, 0, 0},
      {"partial", 5, 0, 0},
      {"full, not wrapped", 64, 0, 0},
      {"full, wrapped", 100, 0, 36},
      {"wrapped then shrunk", 100, 10, 0},
  };
  for (const auto& c : cases) {
    History h;
    for (uint32_t i = 0; i < c.pushes; ++i) {
      h.view.hex = i % 3 == 0;
      h.rm.pushReturn(i % 10, 0x400 + i);
    }
    if (c.removeDownto) h.rm.removeReturnsDownto(c.removeDownto - 1);
    std::vector<ReturnEntry> before;
    for (uint32_t i = 0; i < h.rm.count(); ++i) before.push_back(h.rm.getReturn(i));

    std::vector<uint8_t> b = h.rm.writeBody();
    ASSERT_EQ(b.size(), 2 + 12 * before.size()) << c.what;
    EXPECT_EQ(b[0], before.size()) << c.what;
    EXPECT_EQ(b[1], c.writtenFirst) << c.what;

    History loaded;
    THistoryReadResult r = loaded.rm.readBody(b.data(), b.size());
    EXPECT_TRUE(r.ok) << c.what;
    EXPECT_EQ(r.consumed, b.size()) << c.what;
    std::vector<ReturnEntry> after;
    for (uint32_t i = 0; i < loaded.rm.count(); ++i) after.push_back(loaded.rm.getReturn(i));
    EXPECT_EQ(after, before) << c.what;
  }
}

TEST(ReturnManager, ProjectBodyClampsAndShortData) {
  std::vector<uint32_t> many;
  for (uint32_t i = 0; i < 200; ++i) many.push_back(i);
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    bool ok;
    size_t consumed;
    int detail;
    std::vector<uint32_t> addresses;  // oldest first
  };
  std::vector<uint32_t> first64(many.begin(), many.begin() + 64);
  std::vector<uint8_t> torn = body(2, 0, {7, 8});
  torn.pop_back();
  std::vector<uint32_t> rotated(first64.begin() + 10, first64.end());
  rotated.insert(rotated.end(), first64.begin(), first64.begin() + 10);
  const std::vector<Case> cases = {
      {"count 200 read as 64", body(200, 0, many), true, 2 + 64 * 12, 0, first64},
      {"full ring keeps first", body(64, 10, first64), true, 2 + 64 * 12, 0, rotated},
      {"first of 64 or more is 0", body(64, 64, first64), true, 2 + 64 * 12, 0, first64},
      {"first 255 is 0", body(3, 255, {1, 2, 3}), true, 2 + 36, 0, {1, 2, 3}},
      {"partial ring read from slot 0", body(3, 62, {1, 2, 3}), true, 2 + 36, 0, {1, 2, 3}},
      {"empty body", {}, false, 0, 0, {}},
      {"count only", {5}, false, 1, 5, {}},
      {"count above data", body(5, 0, {7, 8}), false, 2 + 24, 2, {7, 8}},
      {"clamped count above data", body(200, 0, {7}), false, 2 + 12, 62, {7}},
      {"torn entry", torn, false, 2 + 12, 0, {7}},
      {"zero entries", body(0, 9, {}), true, 2, 0, {}},
  };
  for (const auto& c : cases) {
    History h;
    h.pushAll({0x55, 0x66});
    THistoryReadResult r = h.rm.readBody(c.data.data(), c.data.size());
    EXPECT_EQ(r.ok, c.ok) << c.what;
    EXPECT_EQ(r.consumed, c.consumed) << c.what;
    EXPECT_EQ(r.detail, c.detail) << c.what;
    EXPECT_EQ(h.addresses(), c.addresses) << c.what;
    EXPECT_TRUE(h.host.messages.empty()) << c.what;
  }
}

}  // namespace
