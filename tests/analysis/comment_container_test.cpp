#include "analysis/comment_container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/text_format.h"

namespace {

std::vector<TTextPool::RecordInfo> block0(TCommentContainer& c) {
  std::vector<TTextPool::RecordInfo> r;
  c.inspectPool([&](const TTextPool& p) { r = p.records(0); });
  return r;
}

uint32_t free0(TCommentContainer& c) {
  uint32_t f = 0;
  c.inspectPool([&](const TTextPool& p) { f = p.blockFree(0); });
  return f;
}

TEST(CommentContainer, TextsAreCutAt254CharactersAndEmptyTextsIgnored) {
  struct Case {
    std::string text;
    std::string stored;  // "" = nothing stored
  };
  const std::vector<Case> cases = {
      {std::string(300, 'a'), std::string(254, 'a')},
      {std::string(255, 'b'), std::string(254, 'b')},
      {std::string(254, 'c'), std::string(254, 'c')},
      {std::string(253, 'd'), std::string(253, 'd')},
      {"x", "x"},
      {std::string("ab\0cd", 5), "ab"},
      {"", ""},
      {std::string("\0z", 2), ""},
  };
  for (const auto& c : cases) {
    TCommentContainer names;
    EXPECT_EQ(names.add(0x10, c.text, REPLACE_ASK), 0u);
    EXPECT_EQ(names.lookup(0x10).value_or(""), c.stored);
    if (c.stored.empty()) {
      EXPECT_EQ(names.count(), 0u);
      continue;
    }
    auto recs = block0(names);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].length, c.stored.size() + 1);
    // The stored cut counts as the same text.
    EXPECT_EQ(names.add(0x10, c.text, REPLACE_ASK), 0u);
  }
}

// Fills block 0 so that no further text fits behind its next free position.
void fillBlock0(TCommentContainer& names, uint32_t fromAddress) {
  for (uint32_t a = fromAddress;; ++a) {
    uint32_t r = 0;
    names.inspectPool([&](const TTextPool& p) { r = 65536 - p.blockNextFree(0); });
    if (r >= 258) {
      names.add(a, std::string(254, 'f'), 0);
    } else if (r >= 4) {
      names.add(a, std::string(r - 3, 'g'), 0);
    } else {
      return;
    }
  }
}

std::vector<uint32_t> numbers(const char* list) {
  std::istringstream in(list);
  std::vector<uint32_t> out;
  for (uint32_t n; in >> n;) out.push_back(n);
  return out;
}

// Block 0's records as "offset:length", a '*' marking a free one.
std::string block0Text(TCommentContainer& c, size_t first) {
  std::string out;
  for (auto& r : block0(c))
    if (first && first--) out += wsString("%u:%d%s ", r.offset, int(r.length), r.free ? "*" : "");
  return out;
}

TEST(CommentContainer, PoolReusesSplitsAndMergesFreedRecords) {
  struct Case {
    const char* what;
    const char* initial;       // lengths of texts stored at addresses 0, 1, ...
    bool fill;                 // no room left behind next free
    const char* removed;       // addresses, in this order
    int added;                 // length of a text added afterwards, 0 = none
    const char* firstRecords;  // leading records of block 0 afterwards
    uint32_t blocks;
  };
  const std::vector<Case> cases = {
      {"longer free record is split, its tail stays free", "100 10", true, "0", 10,
       "0:11 12:89* 102:11 ", 1},
      {"record at most 3 bytes longer is used whole", "13 10 100 10", true, "0 2", 10,
       "0:14 15:11 27:101* 129:11 ", 1},
      {"too short free records are passed over", "3 10 100 10", true, "0 2", 10,
       "0:4* 5:11 17:11 29:89* 119:11 ", 1},
      // 22 bytes of the freed record + the 1..3 left at the end: at least
      // twice but below three times the new record's length.
      {"free count below three times the length: new block", "20 10", true, "0", 10, "0:21* 22:11 ",
       2},
      {"room behind next free comes first", "13 10", false, "0", 10, "0:14* 15:11 27:11 ", 1},
      {"freed record merges with a free next record", "10 10 10", false, "1 0", 0, "0:23* 24:11 ",
       1},
      {"no merge with the record before", "10 10 10", false, "0 1", 0, "0:11* 12:11* 24:11 ", 1},
      {"no merge beyond a length of 255", "200 100 10", false, "1 0", 0, "0:201* 202:101* 304:11 ",
       1},
      {"merge up to a length of exactly 255", "200 52 10", false, "1 0", 0, "0:255* 256:11 ", 1},
      {"no merge to a length of 256", "200 53 10", false, "1 0", 0, "0:201* 202:54* 257:11 ", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TCommentContainer names;
    const std::vector<uint32_t> initial = numbers(c.initial);
    for (uint32_t i = 0; i < initial.size(); ++i) names.add(i, std::string(initial[i], 'a'), 0);
    if (c.fill) fillBlock0(names, 0x1000);
    for (uint32_t a : numbers(c.removed)) names.remove(names.find(a));
    if (c.added) names.add(0x9000, std::string(c.added, 'x'), 0);
    const size_t shown = std::count(c.firstRecords, c.firstRecords + strlen(c.firstRecords), ' ');
    EXPECT_EQ(block0Text(names, shown), c.firstRecords);
    uint32_t blocks = 0;
    names.inspectPool([&](const TTextPool& p) { blocks = p.blockCount(); });
    EXPECT_EQ(blocks, c.blocks);
    // The free count is what the used records leave of the block.
    uint32_t used = 0;
    for (auto& r : block0(names)) used += r.free ? 0 : r.length + 1;
    EXPECT_EQ(free0(names), 65536 - used);
    // Every surviving name still reads back as stored.
    for (uint32_t i = 0; i < initial.size(); ++i) {
      const std::string text(initial[i], 'a');
      EXPECT_EQ(names.lookup(i).value_or(text), text) << i;
    }
    EXPECT_EQ(names.lookup(0x9000).value_or(""), std::string(c.added, 'x'));
  }
}

TEST(TextPool, RecordGoesBehindNextFreeOnlyWhenItEndsBeforeTheBlockEnd) {
  struct Case {
    size_t chars;     // of the text stored after 255 records of 256 bytes
    uint32_t blocks;  // 256 bytes are left in block 0
  };
  for (auto c : std::vector<Case>{{253, 1}, {254, 2}}) {
    TTextPool pool;
    for (int i = 0; i < 255; ++i) pool.store(std::string(254, 'p'));
    ASSERT_EQ(pool.blockNextFree(0), 65280u);
    TTextRef ref = pool.store(std::string(c.chars, 'q'));
    EXPECT_EQ(pool.blockCount(), c.blocks) << c.chars;
    EXPECT_EQ(ref.block, c.blocks - 1) << c.chars;
    EXPECT_EQ(std::string(pool.text(ref)), std::string(c.chars, 'q'));
  }
}

TEST(CommentContainer, ReserveClearAndLookupIntoBuffer) {
  TCommentContainer names;
  names.append(0x15, "out of order");
  names.append(0x20, "again");
  names.append(0x30, "c");
  struct ReserveCase {
    uint32_t n, capacity;
  };
  for (auto c : std::vector<ReserveCase>{{500, 500}, {2, 103}, {3, 3}}) {
    EXPECT_TRUE(names.reserve(c.n));
    EXPECT_EQ(names.capacity(), c.capacity) << c.n;
    EXPECT_EQ(names.count(), 3u);
  }

  char buf[4];
  EXPECT_TRUE(names.lookup(0x15, buf, sizeof buf));
  EXPECT_STREQ(buf, "out");
  EXPECT_FALSE(names.lookup(0x16, buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(names.entryAt(3).has_value());
  EXPECT_EQ(names.entryAt(2)->text, "c");

  // Clearing gives back the initial capacity and an empty first block.
  names.clear();
  EXPECT_EQ((std::vector<uint32_t>{names.count(), names.capacity(), free0(names)}),
            (std::vector<uint32_t>{0, 50, 65536}));
}

}  // namespace
