#include "analysis/jc_refs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

TJCRefContainer filled(const std::vector<uint32_t>& targets) {
  TJCRefContainer store(0, 0);  // a zero delta must still grow
  for (size_t i = 0; i < targets.size(); ++i) store.append(targets[i], uint32_t(i), 1);
  EXPECT_EQ(store.count(), targets.size());
  store.sort();
  return store;
}

TEST(JCRefContainer, FindFirstAgreesWithLinearScanOnEveryLayout) {
  // Every array of up to 7 targets drawn from four values that order as
  // signed numbers (0x80000000 first), sorted; keys on, between and beside them.
  const uint32_t values[] = {0x80000000u, 0xFFFFFFFFu, 0, 5};
  for (uint32_t n = 0, layouts = 1; n <= 7; ++n, layouts *= 4) {
    for (uint32_t code = 0; code < layouts; ++code) {
      std::vector<uint32_t> t;
      for (uint32_t i = 0, c = code; i < n; ++i, c /= 4) t.push_back(values[c % 4]);
      TJCRefContainer store = filled(t);
      for (uint32_t key : {0x80000000u, 0x80000001u, 0xFFFFFFFFu, 0u, 3u, 5u, 6u}) {
        uint32_t expected = NOT_FOUND;
        for (uint32_t i = store.count(); i-- > 0;)
          if (store[i].target == key) expected = i;
        ASSERT_EQ(store.findFirst(key), expected)
            << "n " << n << " code " << code << " key " << key;
      }
    }
  }
}

// Small stores are sorted by comparison, those of a thousand records and more
// by their values: the order must be the one comparing the signed pairs gives.
TEST(JCRefContainer, StoresSortAsTheSignedPairsCompare) {
  std::mt19937 rng(15);
  for (uint32_t n : {5u, 1023u, 1024u, 20000u}) {
    TJCRefContainer store(1, 1000);
    std::vector<std::pair<int32_t, int32_t>> want;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t target = (rng() & 1 ? 0x80000000u : 0u) | rng() % 50;
      const uint32_t source = i % 7 == 0 ? 0x10 : uint32_t(rng());
      store.append(target, source, 1);
      want.emplace_back(int32_t(target), int32_t(source));
    }
    std::sort(want.begin(), want.end());
    store.sort();
    std::vector<std::pair<int32_t, int32_t>> got;
    for (uint32_t i = 0; i < store.count(); ++i) {
      got.emplace_back(int32_t(store[i].target), int32_t(store[i].source));
      ASSERT_EQ(store[i].kind, 1);
    }
    EXPECT_EQ(got, want) << n;
  }
}

TEST(JCRefContainer, RemoveCapacityClearAndPresize) {
  struct Case {
    const char* what;
    void (*op)(TJCRefContainer&);
    std::vector<uint32_t> targets;
    uint32_t capacity;
  };
  const std::vector<Case> cases = {
      {"remove middle", [](TJCRefContainer& s) { s.remove(1); }, {1, 3}, 5},
      {"remove last", [](TJCRefContainer& s) { s.remove(2); }, {1, 2}, 5},
      {"remove beyond count", [](TJCRefContainer& s) { s.remove(3); }, {1, 2, 3}, 5},
      {"remove NOT_FOUND", [](TJCRefContainer& s) { s.remove(NOT_FOUND); }, {1, 2, 3}, 5},
      {"grow", [](TJCRefContainer& s) { s.setCapacity(40); }, {1, 2, 3}, 40},
      {"below count: count + delta", [](TJCRefContainer& s) { s.setCapacity(1); }, {1, 2, 3}, 6},
      {"clear", [](TJCRefContainer& s) { s.clear(); }, {}, 2},
  };
  for (const auto& c : cases) {
    TJCRefContainer store(2, 3);  // appending 3 grows once: capacity 5
    for (uint32_t t : {1u, 2u, 3u}) store.append(t, 0, 1);
    ASSERT_EQ(store.capacity(), 5u);
    c.op(store);
    std::vector<uint32_t> got;
    for (uint32_t i = 0; i < store.count(); ++i) got.push_back(store[i].target);
    EXPECT_EQ(got, c.targets) << c.what;
    EXPECT_EQ(store.capacity(), c.capacity) << c.what;
  }
  // Presize before a scan: 6 % of the code bytes, bounded against hostile raw sizes.
  EXPECT_EQ(jcCapacityForCode(0x1000), 245u);
  EXPECT_EQ(jcCapacityForCode(0xFFFFFFFFull), JC_PRESIZE_LIMIT);  // would overflow 32 bits
  EXPECT_EQ(jcCapacityForCode(0x5000000000ull), JC_PRESIZE_LIMIT);
}

}  // namespace
