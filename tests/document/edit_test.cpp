// Changing bytes, undo and redo, byte typing and relocation removal.
#include <gtest/gtest.h>

#include <random>

#include "document/document.h"
#include "support/bytes_document.h"
#include "support/fixtures.h"

namespace {

// A document over a file of `size` bytes of 0x90.
struct Doc : TBytesDocument {
  explicit Doc(uint32_t size = 2048) : TBytesDocument(std::vector<uint8_t>(size, 0x90)) {}
  void change(uint32_t o, std::vector<uint8_t> bytes) {
    doc.ChangeMemory(o, bytes.data(), uint32_t(bytes.size()));
  }
};

TEST(ChangeMemory, InvalidCallsChangeNothing) {
  Doc d(16);
  const uint8_t b[2] = {1, 2};
  struct Case {
    uint32_t offset;
    const uint8_t* src;
    uint32_t count;
  } cases[] = {{15, b, 2}, {16, b, 1}, {0, nullptr, 1}, {0, b, 0}, {0xFFFFFFFF, b, 2}};
  for (const auto& c : cases) d.doc.ChangeMemory(c.offset, c.src, c.count);
  ASSERT_EQ(d.host.messages.size(), std::size(cases));
  for (const auto& line : d.host.messageLines())
    EXPECT_EQ(line, "Warning!: Invalid ChangeMemory() call");
  EXPECT_FALSE(d.doc.fileChanged());
  EXPECT_FALSE(d.doc.undoAvailable());
  d.doc.ChangeMemory(14, b, 2);  // the last two bytes are fine
  EXPECT_EQ(d.at(15), 2);
}

TEST(Undo, RecordArithmeticAroundItsCapacity) {
  struct Case {
    const char* what;
    int before;       // single-byte changes made first
    uint32_t change;  // then one change of this many bytes
    int undoPosition, savedPosition;
  } cases[] = {
      {"room left", 400, 99, 499, 0},
      {"498 + 2 drops the two oldest", 498, 2, 498, -2},
      {"499 + 1 drops one", 499, 1, 499, -1},
      {"600 bytes: only the last 500", 10, 600, 500, -600},
      {"exactly 500 bytes", 0, 500, 500, -500},
      {"10 + 495: the record gives up the older part too", 10, 495, 10, -495},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Doc d;
    for (int i = 0; i < c.before; ++i) d.change(uint32_t(i), {0x11});
    d.change(1000, std::vector<uint8_t>(c.change, 0x22));
    EXPECT_EQ(d.doc.undoRecord().undoPosition(), c.undoPosition);
    EXPECT_EQ(d.doc.undoRecord().savedPosition(), c.savedPosition);
    EXPECT_EQ(d.doc.undoRecord().redoLimit(), c.undoPosition);
    while (d.doc.undoAvailable()) d.doc.undo();
    // The newest bytes are back; what fell out of the record stays changed.
    EXPECT_EQ(d.at(1000 + c.change - 1), 0x90);
    if (c.undoPosition < int(c.change)) {
      EXPECT_EQ(d.at(1000), 0x22);
    }
    if (c.before > 0 && c.savedPosition < 0) {
      EXPECT_EQ(d.at(0), 0x11);
    }
    // Only a record that lost nothing gets back to the state on disk.
    EXPECT_EQ(d.doc.fileChanged(), c.savedPosition < 0);
  }
}

// Typed keys from a cursor: the bytes, cursor and nibble after them.
TEST(Typing, KeysInEachMode) {
  struct Case {
    const char* what;
    bool hexDump;
    int mode;  // 1: hex digits, 2: text
    uint32_t cursor;
    const char* keys;
    std::vector<uint8_t> bytes;
    uint32_t cursorAfter;
    int nibbleAfter;
    int undos = 0;  // undo steps after the keys
  } cases[] = {
      {"hex digits, x ignored", true, 1, 0, "4x1", {0x41, 0x90, 0x90}, 1, 0},
      {"the last byte keeps cursor and nibble", true, 1, 2, "aB", {0x90, 0x90, 0xAB}, 2, 1},
      {"text; the last byte overwritten in place", true, 2, 1, "A\b\tz!", {0x90, 'A', '!'}, 2, 0},
      {"text mode types hex digits in the code listing", false, 2, 0, "C", {0xC0, 0x90, 0x90}, 0, 1},
      // Only the low nibble differed: the undo steps back to it.
      {"undo of the second digit", true, 1, 0, "41", {0x40, 0x90, 0x90}, 0, 1, 1},
      {"undo of both digits", true, 1, 0, "41", {0x90, 0x90, 0x90}, 0, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Doc d(3);
    d.doc.view().hexDump = c.hexDump;
    d.doc.edit() = TEditState{c.mode};
    d.doc.view().cursor = c.cursor;
    d.doc.view().nibble = 0;
    for (const char* k = c.keys; *k; ++k) d.doc.typeCharacter(uint8_t(*k));
    for (int i = 0; i < c.undos; ++i) d.doc.undo();
    EXPECT_EQ(std::vector<uint8_t>(d.doc.buffer(), d.doc.buffer() + 3), c.bytes);
    EXPECT_EQ(d.doc.view().cursor, c.cursorAfter);
    EXPECT_EQ(d.doc.view().nibble, c.nibbleAfter);
  }
}

// Listeners hear every change, undo and redo with the undo state after the
// step, until removed; one may remove another while they are told.
TEST(ChangeListeners, ToldEveryStepUntilRemoved) {
  Doc d;
  std::vector<std::string> seen;
  const int id = d.doc.addChangeListener([&](uint32_t o) {
    seen.push_back(std::to_string(o) + (d.doc.undoAvailable() ? " undo" : "") +
                   (d.doc.redoAvailable() ? " redo" : ""));
  });
  d.change(5, {1});
  d.doc.undo();
  EXPECT_EQ(d.doc.view().cursor, 5u);  // the undone byte is shown
  d.doc.redo();
  d.doc.removeChangeListener(id);
  d.change(6, {1});
  EXPECT_EQ(seen, (std::vector<std::string>{"5 undo", "5 redo", "5 undo"}));

  int second = 0, calls = 0;
  d.doc.addChangeListener([&](uint32_t) { d.doc.removeChangeListener(second); });
  second = d.doc.addChangeListener([&](uint32_t) { ++calls; });
  d.change(1, {1});
  EXPECT_EQ(calls, 0);
}

// Random changes, undos and redos against a replay of every written byte.
TEST(UndoProperty, BufferMatchesReplayedStates) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    Doc d(64);
    std::vector<std::vector<uint8_t>> states{std::vector<uint8_t>(64, 0x90)};
    size_t pos = 0;
    size_t saved = 0;
    for (int op = 0; op < 400; ++op) {
      const int kind = int(rng() % 10);
      if (kind < 4) {
        const uint32_t o = rng() % 64;
        const uint32_t n = 1 + rng() % std::min<uint32_t>(64 - o, rng() % 7 == 0 ? 64 : 4);
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes) b = uint8_t(rng());
        d.change(o, bytes);
        states.resize(pos + 1);
        for (uint32_t i = 0; i < n; ++i) {
          states.push_back(states.back());
          states.back()[o + i] = bytes[i];
        }
        pos = states.size() - 1;
        if (saved > pos) saved = SIZE_MAX;  // that state cannot come back through redo
      } else if (kind < 7) {
        if (d.doc.undoAvailable()) {
          ASSERT_GT(pos, 0u);
          d.doc.undo();
          --pos;
        }
      } else if (kind < 9) {
        ASSERT_EQ(d.doc.redoAvailable(), pos + 1 < states.size());
        if (d.doc.redoAvailable()) {
          d.doc.redo();
          ++pos;
        }
      } else {
        d.doc.settings().createBackups = false;
        ASSERT_TRUE(d.doc.SaveFile());
        saved = pos;
      }
      ASSERT_TRUE(std::equal(states[pos].begin(), states[pos].end(), d.doc.buffer())) << op;
      if (!d.doc.fileChanged()) {
        ASSERT_EQ(pos, saved) << op;
      }
    }
  }
}

}  // namespace
