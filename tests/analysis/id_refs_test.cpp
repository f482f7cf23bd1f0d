#include "analysis/id_refs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TImpRef imp(uint32_t iat, uint32_t module, uint32_t func, std::vector<int32_t> users) {
  TImpRef r(iat, module, func);
  for (int32_t u : users) r.refs.add(TMInt(u));
  return r;
}

TEST(SortedArray, DuplicatesStayInArrivalOrderAndFindTakesTheFirst) {
  TSArrayAsVector<TMIntType> a(2, 3);
  const std::vector<std::pair<int32_t, uint8_t>> in = {{50, 0}, {10, 1}, {50, 2},
                                                       {-5, 0}, {50, 1}, {10, 0}};
  for (auto [v, t] : in) a.add(TMIntType(v, t));
  std::vector<std::pair<int32_t, uint8_t>> got;
  for (const auto& e : a) got.emplace_back(e.value, e.type);
  const std::vector<std::pair<int32_t, uint8_t>> want = {{-5, 0}, {10, 1}, {10, 0},
                                                         {50, 0}, {50, 2}, {50, 1}};
  EXPECT_EQ(got, want);

  struct Case {
    int32_t value;
    uint32_t index;
  };
  for (auto c : std::vector<Case>{
           {-5, 0}, {10, 1}, {50, 3}, {0, NOT_FOUND}, {51, NOT_FOUND}, {-6, NOT_FOUND}})
    EXPECT_EQ(a.find(TMIntType(c.value, 9)), c.index) << c.value;
}

TEST(SortedArray, OrdersAsSignedValues) {
  TSArrayAsVector<TMInt> a(1, 1);
  for (uint32_t v : {5u, 0x80000000u, 0xFFFFFFFFu, 0u}) a.add(TMInt(int32_t(v)));
  std::vector<uint32_t> got;
  for (const auto& e : a) got.push_back(uint32_t(e.value));
  EXPECT_EQ(got, (std::vector<uint32_t>{0x80000000u, 0xFFFFFFFFu, 0u, 5u}));
}

TEST(ImpRefStore, RecordsWithoutUsersAreRefusedAndLookupsFindTheFirstMatch) {
  TImpRefStore store;
  EXPECT_FALSE(store.add(imp(0x402000, 0x300, 0x310, {})));
  ASSERT_TRUE(store.add(imp(0x402004, 0x300, 0x320, {0x1010, 0x1020})));
  ASSERT_TRUE(store.add(imp(0x402008, 0x340, 0x80000011u, {0x1020, 0x1030})));
  ASSERT_TRUE(store.add(imp(0x40200C, 0x300, 0x320, {0x1040})));
  EXPECT_EQ(store.count(), 3u);

  struct UserCase {
    uint32_t offset;
    uint32_t iat;  // 0: none
  };
  for (auto c : std::vector<UserCase>{{0x1010, 0x402004},
                                      {0x1020, 0x402004},
                                      {0x1030, 0x402008},
                                      {0x1040, 0x40200C},
                                      {0x1050, 0},
                                      {0, 0}}) {
    const TImpRef* r = store.findByUser(c.offset);
    EXPECT_EQ(r ? r->iatAddress : 0u, c.iat) << std::hex << c.offset;
  }

  struct ImportCase {
    uint32_t module, function, iat;
  };
  for (auto c : std::vector<ImportCase>{{0x300, 0x320, 0x402004},
                                        {0x340, 0x80000011u, 0x402008},
                                        {0x300, 0x310, 0},
                                        {0x340, 0x320, 0}}) {
    const TImpRef* r = store.findByImport(c.module, c.function);
    EXPECT_EQ(r ? r->iatAddress : 0u, c.iat) << std::hex << c.module << " " << c.function;
  }
  store.flush();
  EXPECT_EQ(store.count(), 0u);
  EXPECT_EQ(store.findByUser(0x1010), nullptr);
}

TEST(IdRefStores, SortedByIdFoundByIdAndOnlyWithRefs) {
  TStrRefStore strings;
  TMenuRefStore menus;
  for (uint32_t id : {40u, 3u, 17u, 0x80000000u}) {
    TStrRef s(id, id * 2);
    s.refs.add(TMIntType(0x1000, 0));
    s.refs.add(TMIntType(0x1000, 0));  // the same instruction twice: both kept
    strings.add(s);
    TMenuRef m(id, id * 4);
    m.refs.add(TMIntType(0x2000, 2));
    menus.add(m);
  }
  EXPECT_EQ(strings.add(TStrRef(5, 5)), NOT_FOUND);  // no instruction carries it
  EXPECT_EQ(menus.add(TMenuRef(5, 5)), NOT_FOUND);

  std::vector<uint32_t> order;
  for (uint32_t i = 0; i < strings.count(); ++i) order.push_back(strings[i].id);
  EXPECT_EQ(order, (std::vector<uint32_t>{0x80000000u, 3, 17, 40}));

  for (uint32_t id : {3u, 17u, 40u, 0x80000000u}) {
    ASSERT_NE(strings.findById(id), nullptr);
    EXPECT_EQ(strings.findById(id)->textOffset, id * 2);
    EXPECT_EQ(strings.findById(id)->refs.count(), 2u);
    ASSERT_NE(menus.findById(id), nullptr);
    EXPECT_EQ(menus.findById(id)->textOffset, id * 4);
  }
  for (uint32_t id : {0u, 4u, 5u, 0xFFFFFFFFu}) {
    EXPECT_EQ(strings.findById(id), nullptr) << id;
    EXPECT_EQ(menus.findById(id), nullptr) << id;
  }
}

}  // namespace
