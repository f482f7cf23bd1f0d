#include "analysis/id_refs.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/text_format.h"

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

TEST(ImpRefStore, RecordsWithoutUsersAreRefusedAndLookupsFindTheFirstMatch) {
  TImpRefStore store;
  EXPECT_FALSE(store.add(imp(0x402000, 0x300, 0x310, {})));
  ASSERT_TRUE(store.add(imp(0x402004, 0x300, 0x320, {0x1010, 0x1020})));
  ASSERT_TRUE(store.add(imp(0x402008, 0x340, 0x80000011u, {0x1020, 0x1030})));
  ASSERT_TRUE(store.add(imp(0x40200C, 0x300, 0x320, {0x1040})));
  EXPECT_EQ(store.count(), 3u);

  // The IAT address of the record found for each user or import, 0 for none.
  std::string byUser, byImport;
  for (uint32_t offset : {0x1010, 0x1020, 0x1030, 0x1040, 0x1050, 0}) {
    const TImpRef* r = store.findByUser(offset);
    byUser += wsString("%X ", r ? r->iatAddress : 0u);
  }
  EXPECT_EQ(byUser, "402004 402004 402008 40200C 0 0 ");
  for (auto [module, function] :
       {std::pair{0x300u, 0x320u}, {0x340u, 0x80000011u}, {0x300u, 0x310u}, {0x340u, 0x320u}}) {
    const TImpRef* r = store.findByImport(module, function);
    byImport += wsString("%X ", r ? r->iatAddress : 0u);
  }
  EXPECT_EQ(byImport, "402004 402008 0 0 ");
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

  // id:text offset/ref count of the string, then the menu's text offset; '-' for none.
  std::string found;
  for (uint32_t id : {3u, 17u, 40u, 0x80000000u, 0u, 4u, 5u, 0xFFFFFFFFu}) {
    const TStrRef* s = strings.findById(id);
    const TMenuRef* m = menus.findById(id);
    found += s ? wsString("%X:%X/%u", id, s->textOffset, s->refs.count()) : wsString("%X:-", id);
    found += m ? wsString(",%X ", m->textOffset) : std::string(",- ");
  }
  EXPECT_EQ(found, "3:6/2,C 11:22/2,44 28:50/2,A0 80000000:0/2,0 0:-,- 4:-,- 5:-,- FFFFFFFF:-,- ");
}

}  // namespace
